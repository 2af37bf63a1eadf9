// The toolkit's own texts (message box buttons, standard captions, context
// menus) in the chosen language, from the system's Qt translations.
#pragma once

#include <QString>

#include <memory>

class QTranslator;

namespace corvatek::shell {

class ToolkitTranslation {
public:
    ToolkitTranslation();
    ~ToolkitTranslation();

    // Puts the toolkit into the language of `languageCode`: English, an
    // unknown code or a missing translation leave its built-in English.
    void use(const QString& languageCode);

private:
    std::unique_ptr<QTranslator> translator_;
    QString language_; // the ISO language installed, empty for none
};

} // namespace corvatek::shell
