#include "controls/CSingleLineEdit.h"

CSingleLineEdit::CSingleLineEdit(QWidget* pParent) : CEditCtrl(pParent) {}

CSingleLineEdit::~CSingleLineEdit() = default;
