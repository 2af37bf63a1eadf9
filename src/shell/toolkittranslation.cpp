#include "shell/toolkittranslation.h"

#include "localisation/captions.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace corvatek::shell {

ToolkitTranslation::ToolkitTranslation() = default;

ToolkitTranslation::~ToolkitTranslation()
{
    if (translator_)
        QCoreApplication::removeTranslator(translator_.get());
}

void ToolkitTranslation::use(const QString& languageCode)
{
    QString language = localisation::isoLanguage(languageCode).value_or(QString());
    if (language == QLatin1String("en"))
        language.clear();
    if (language == language_)
        return;
    if (translator_) {
        QCoreApplication::removeTranslator(translator_.get());
        translator_.reset();
    }
    language_ = language;
    if (language.isEmpty())
        return;
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.get());
        translator_ = std::move(translator);
    }
}

} // namespace corvatek::shell
