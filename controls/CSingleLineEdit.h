#pragma once
// A single-line library edit.

#include "controls/CEditCtrl.h"

class CSingleLineEdit : public CEditCtrl
{
    Q_OBJECT

public:
    explicit CSingleLineEdit(QWidget* pParent = nullptr);
    ~CSingleLineEdit() override;
};
