#include "shell/session.h"

#include "platform/trash.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QUrl>

namespace corvatek::shell {

Seams Seams::system()
{
    Seams seams;
    seams.now = [] { return QDateTime::currentDateTime(); };
    seams.askYesNo = [](QWidget* parent, const QString& text) {
        return QMessageBox::information(parent, QApplication::applicationDisplayName(), text,
                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    seams.askBeforeDeleting = [](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Information, QApplication::applicationDisplayName(), text,
            QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    seams.open = [](const QString& target) {
        const QUrl url = QUrl::fromUserInput(target);
        QDesktopServices::openUrl(url);
    };
    seams.report = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QApplication::applicationDisplayName(), text);
    };
    seams.trashFolders = platform::trashFolders;
    return seams;
}

Session::Session(QString programFolder, Seams seams, std::chrono::milliseconds fileWait, QString installFolder)
    : folder(std::move(programFolder)), files(folder, {fileWait, [this] { keepPainted(); }}),
      companions(folder, std::move(installFolder)), seams(std::move(seams))
{
}

QString Session::shippedFolderOf(QStringView name) const
{
    return companions.folderOf(name);
}

QString Session::loadCaptions(localisation::CaptionTable& captions, const QString& code)
{
    // What the files tell the user speaks the captions' language.
    if (const auto language = localisation::languageOf(code))
        files.setLanguage(*language);
    return captions.load(shippedFolderOf(localisation::languageFileName(code).value_or(QString())), code);
}

void Session::emptyTrash()
{
    platform::emptyTrash(seams.trashFolders(), [this] { keepPainted(); });
}

void Session::keepPainted()
{
    // A waiting window keeps painting itself, but takes no input.
    const QScopedValueRollback busy(windowBusy, windowBusy + 1);
    if (beforeWaiting)
        beforeWaiting();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace corvatek::shell
