// The file scrambling page: a file turned into a scrambled copy, and such a
// copy turned back into the plain file.
#pragma once

#include "data/scrambling.h"
#include "shell/page.h"

#include <string>

class QLineEdit;
class QPushButton;

namespace corvatek::pages {

class Tpanel15 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void BitBtn25Click(); // scramble: plain file to scrambled file
    void BitBtn26Click(); // restore: scrambled file to plain file

    QLineEdit* plainField = nullptr;
    QLineEdit* scrambledField = nullptr;
    QPushButton* BitBtn25 = nullptr;
    QPushButton* BitBtn26 = nullptr;
    std::string key;

private:
    void transform(const QLineEdit* from, const QLineEdit* to, data::Direction direction);
};

} // namespace corvatek::pages
