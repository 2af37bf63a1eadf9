// The modification watch page: the files in which the companions record the
// modifications they watch (names matching "*mod*.txt"), shown and deleted on
// request, and the four family members that choose what the guard watches.
#pragma once

#include "shell/page.h"

class QCheckBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace corvatek::pages {

class Tpanel7 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void BitBtn7Click();
    void BitBtn8Click();

    QPushButton* BitBtn7 = nullptr;
    QPushButton* BitBtn8 = nullptr;
    QPlainTextEdit* contentBox = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    QCheckBox* CheckBox7 = nullptr;
    QCheckBox* CheckBox8 = nullptr;
    QCheckBox* CheckBox9 = nullptr;
    QListWidget* fileList = nullptr;

private:
    // The chosen file's name; empty when no file is chosen.
    QString chosenName() const;
};

} // namespace corvatek::pages
