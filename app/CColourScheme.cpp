#include "app/CColourScheme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QStyle>
#include <QStyleFactory>

namespace {

// The portal answers at once or not at all; a start-up never waits longer than this.
constexpr int kPortalTimeoutMs = 300;

bool IsDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

} // namespace

namespace ColourScheme {

EScheme DesktopPreference()
{
    const QByteArray forced = qgetenv("QUARROW_COLOR_SCHEME").toLower();
    if (forced == "dark")
        return EScheme::Dark;
    if (forced == "light")
        return EScheme::Light;

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return EScheme::NoPreference;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    // Ask a running portal only: starting one would hold up the window, and a bus without
    // a portal (a test's private bus) would be made to look for one.
    call.setAutoStartService(false);
    const QDBusMessage answer = bus.call(call, QDBus::Block, kPortalTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return EScheme::NoPreference;
    // The value comes wrapped in one or two variants: 1 prefers dark, 2 prefers light.
    QVariant value = answer.arguments().constFirst();
    for (int i = 0; i < 2 && value.canConvert<QDBusVariant>(); ++i)
        value = value.value<QDBusVariant>().variant();
    switch (value.toUInt()) {
    case 1:
        return EScheme::Dark;
    case 2:
        return EScheme::Light;
    default:
        return EScheme::NoPreference;
    }
}

QPalette DarkPalette()
{
    QPalette palette;
    const QColor window(0x2b, 0x2d, 0x30);
    const QColor base(0x1e, 0x1f, 0x22);
    const QColor text(0xe6, 0xe6, 0xe6);
    const QColor disabled(0x80, 0x80, 0x80);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabled);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(0xff, 0x6b, 0x6b));
    palette.setColor(QPalette::Light, QColor(0x45, 0x48, 0x4d));
    palette.setColor(QPalette::Midlight, QColor(0x38, 0x3a, 0x3e));
    palette.setColor(QPalette::Mid, QColor(0x24, 0x25, 0x28));
    palette.setColor(QPalette::Dark, QColor(0x18, 0x19, 0x1b));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, QColor(0x35, 0x74, 0xc4));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x7a, 0xb8, 0xff));
    palette.setColor(QPalette::LinkVisited, QColor(0xc0, 0x9a, 0xff));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        palette.setColor(QPalette::Disabled, role, disabled);
    return palette;
}

void Apply()
{
    const EScheme scheme = DesktopPreference();
    const bool bDarkNow = IsDark(QApplication::palette());
    if (scheme == EScheme::Dark && !bDarkNow) {
        // Fusion draws every control from the palette, so nothing stays light.
        if (QStyle* pFusion = QStyleFactory::create(QStringLiteral("Fusion")))
            QApplication::setStyle(pFusion);
        QApplication::setPalette(DarkPalette());
    } else if (scheme == EScheme::Light && bDarkNow) {
        if (QStyle* pFusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
            QApplication::setStyle(pFusion);
            QApplication::setPalette(pFusion->standardPalette());
        }
    }
}

} // namespace ColourScheme
