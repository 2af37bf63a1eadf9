// Every caption of every page, in each of the five languages, is either
// whole where it stands or shown whole as a tooltip; what does not fit is
// listed, for whoever lays the pages out.
#include "shell/textfit.h"
#include "shellfixture.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QToolTip>

using corvatek::shell::Target;
using corvatek::test::ShellFixture;

using corvatek::shell::captionOf;

class TestTextFit : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

private slots:
    void initTestCase()
    {
        corvatek::test::useAsHome(home_.path());
    }

    void everyCaptionIsWholeOrATooltip_data()
    {
        QTest::addColumn<QString>("code");
        for (const char* code : {"FR", "GB", "DE", "ESP", "ITA"})
            QTest::newRow(code) << QString::fromLatin1(code);
    }

    void everyCaptionIsWholeOrATooltip()
    {
        QFETCH(QString, code);
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(code);
        fixture.start();
        QStringList cut, untold;
        for (const Target target : corvatek::shell::kListOrder) {
            if (!fixture.registry.page(target))
                continue;
            fixture.clickItem(ShellFixture::rowOf(target));
            const QWidget* page = fixture.window->pagePanel();
            for (const QWidget* control : page->findChildren<QWidget*>()) {
                const QString text = captionOf(control);
                const int needed = corvatek::shell::neededWidth(control);
                const int visible = corvatek::shell::visibleWidth(control);
                if (text.isEmpty() || control->isHidden() || needed <= visible)
                    continue;
                const QString where = QStringLiteral("%1 %2: \"%3\" needs %4 px, shows %5")
                                          .arg(code, control->metaObject()->className(), text)
                                          .arg(needed)
                                          .arg(visible);
                cut.append(where);
                if (control->toolTip() != text)
                    untold.append(where);
            }
        }
        for (const QString& line : cut)
            qInfo("shown as a tooltip: %s", qPrintable(line));
        QVERIFY2(untold.isEmpty(), qPrintable(untold.join(u'\n')));
    }

    // An item whose text a list cannot show whole says it whole on hover.
    void listItemsShowTheirWholeText()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        fixture.start();
        fixture.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));
        fixture.clickItem(ShellFixture::rowOf(Target::Settings));
        auto* list = fixture.window->pagePanel()->findChild<QListWidget*>();
        QVERIFY(list);
        const QString longText = QString(300, u'x') + QStringLiteral(" end");
        list->addItem(longText);
        list->scrollToItem(list->item(list->count() - 1));
        const QRect where = list->visualItemRect(list->item(list->count() - 1));
        const QPoint at(where.left() + 4, where.center().y());
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), longText);
    }
};

QTEST_MAIN(TestTextFit)
#include "tst_textfit.moc"
