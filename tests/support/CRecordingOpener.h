#pragma once
// The desktop's opener replaced in window tests: a script that appends its argument to a log
// beside it and exits with the status given. QUARROW_OPENER names it while this object lives.

#include <QFile>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CRecordingOpener
{
public:
    // The script is written into strFolder, which must outlive this object.
    explicit CRecordingOpener(const QString& strFolder, int nExitStatus = 0)
        : m_strScript(strFolder + QStringLiteral("/opener.sh")),
          m_strLog(m_strScript + QStringLiteral(".log"))
    {
        SetExitStatus(nExitStatus);
        qputenv("QUARROW_OPENER", QFile::encodeName(m_strScript));
    }
    // Replace one by first destroying the old: its destructor unsets the variable.
    ~CRecordingOpener() { qunsetenv("QUARROW_OPENER"); }
    CRecordingOpener(const CRecordingOpener&) = delete;
    CRecordingOpener& operator=(const CRecordingOpener&) = delete;

    // False when the script could not be written.
    bool IsValid() const { return m_bValid; }

    // Every later opening answers this exit status.
    void SetExitStatus(int nExitStatus)
    {
        // "$0.log": the log's path never has to be quoted into the script.
        const QByteArray script =
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$0.log\"\nexit %1\n")
                .arg(nExitStatus)
                .toUtf8();
        QFile file(m_strScript);
        m_bValid = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   file.write(script) == script.size();
        file.close();
        m_bValid =
            m_bValid && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // What was opened, oldest first.
    QStringList Openings() const
    {
        QFile log(m_strLog);
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    void Clear() { QFile::remove(m_strLog); }

private:
    QString m_strScript;
    QString m_strLog;
    bool m_bValid = false;
};
