#include "pages/security/languagechoice.h"

#include "data/filenames.h"
#include "shell/icons.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QPainter>

namespace corvatek::pages {
namespace {

class LanguageItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        drawLanguageItem(*painter, option.font, index.row(), option.rect, option.state.testFlag(QStyle::State_Selected),
            index.data().toString());
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index).expandedTo(QSize(0, 18));
    }
};

QPixmap flagOf(int index)
{
    return shell::iconPixmap(QStringLiteral("flags/0%1").arg(index));
}

} // namespace

void drawLanguageItem(
    QPainter& painter, const QFont& font, int index, const QRect& rect, bool selected, const QString& text)
{
    painter.save();
    painter.setFont(font);
    const QPoint textAt(rect.left() + 30, rect.top() + 2 + QFontMetrics(font).ascent());
    painter.fillRect(rect, index % 2 == 0 ? QColor(Qt::white) : QColor(238, 243, 244));
    painter.setPen(Qt::black);
    painter.drawText(textAt, text);
    if (selected) {
        painter.fillRect(rect, QColor(197, 209, 248));
        QFont emphasised = font;
        emphasised.setBold(true);
        emphasised.setItalic(true);
        painter.setFont(emphasised);
        painter.setPen(QColor(0, 0, 255));
        painter.drawText(textAt, text);
    }
    const QPixmap flag = flagOf(index);
    if (!flag.isNull())
        painter.drawPixmap(rect.left() + 4, rect.top() + (rect.height() - flag.height()) / 2, flag);
    painter.restore();
}

void fillLanguageList(QComboBox* list)
{
    list->setItemDelegate(new LanguageItemDelegate(list));
    for (int index = 0; index < int(std::size(kLanguageItems)); ++index)
        list->addItem(QIcon(flagOf(index)), QString::fromLatin1(kLanguageItems[index]));
    list->setCurrentIndex(-1);
}

void applyLanguage(shell::MainWindow& window, const QString& chosen)
{
    if (!localisation::languageOf(chosen))
        return;
    shell::Session& session = window.session();
    const shell::Dialogue dialogue(session, &window);
    // Only a complete language file is stored: a code whose captions cannot
    // be shown would leave the navigation items unmatched.
    localisation::CaptionTable captions;
    const QString problem = session.loadCaptions(captions, chosen.trimmed());
    if (!problem.isEmpty()) {
        dialogue.report(session.state.text(
            localisation::Text::LanguageNotChanged, {problem.left(problem.lastIndexOf(QLatin1String("; ")))}));
        return;
    }
    data::TableLoad load = session.files.loadTable(data::TableId::Languages);
    if (!dialogue.check(load))
        return;
    load.table.clearRows();
    QStringList record(load.table.fields().size());
    const int field = load.table.fieldIndex(data::fields::Name);
    if (field < 0) {
        dialogue.report(session.state.text(
            localisation::Text::NoNameFieldLanguageNotChanged, {session.files.path(files::Languages)}));
        return;
    }
    record[field] = chosen.trimmed();
    load.table.appendRow(record);
    if (!dialogue.check(session.files.saveTable(data::TableId::Languages, load.table)))
        return;
    auto& state = session.state;
    state.languageCode = load.table.value(0, field);
    state.captions = captions;
    window.setLanguageWords();
    window.showCaptionsInFrame();
    window.setWindowTitle(QStringLiteral("Corvatek "));
    QCoreApplication::setApplicationName(QStringLiteral("Corvatek"));
}

} // namespace corvatek::pages
