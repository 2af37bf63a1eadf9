// The file scrambling page: a file turned into a scrambled copy, and such a
// copy turned back into the plain file.
#pragma once

#include "data/scrambling.h"
#include "shell/page.h"

#include <string>

class QLineEdit;
class QPushButton;

namespace corvatek::pages {

class ScramblingPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void scramble(); // the plain file to the scrambled file
    void restore(); // the scrambled file to the plain file

    QLineEdit* plainField = nullptr;
    QLineEdit* scrambledField = nullptr;
    QPushButton* scrambleButton = nullptr;
    QPushButton* restoreButton = nullptr;
    std::string key;

private:
    void transform(const QLineEdit* from, const QLineEdit* to, data::Direction direction);
};

} // namespace corvatek::pages
