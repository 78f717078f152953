#include <QAccessible>
#include <QCoreApplication>
#include <QDir>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

#include "design/HelpPageDesign.h"
#include "qt/HelpPage.h"
#include "qt/Metrics.h"

using kelvane::qt::HelpPage;
using kelvane::qt::openHelpWindow;
using kelvane::qt::toPixels;

namespace {

const QString kVersion = QStringLiteral("v1.45");
const QPoint kMainWindowCorner(200, 150);

// A closed help window is deleted from the event loop; run that part of it now.
void runPendingDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QPoint loadOffset(const QWidget* mainWindow) {
    const int offset = toPixels(400, mainWindow);
    return {offset, offset};
}

}  // namespace

class HelpPageTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void showsEachHelpLineWithItsTextAndPlace_data();
    void showsEachHelpLineWithItsTextAndPlace();
    void showsExactlyNineteenHelpLines();
    void speaksOfTheSystemItRunsOn();
    void cutsNoLineOff();
    void keepsItsClientAreaFixed();
    void isTitledKelvaneHelp();
    void carriesTheApplicationIconInEverySize();

    void readsV000OnlyUntilLoaded();
    void readsTheMainWindowsVersionOnceOpen();
    void opensFourHundredTwipsRightOfAndBelowTheMainWindow();
    void placesItselfFromAHiddenMainWindow();
    void openingTwiceGivesTheSameWindowInItsPlace();
    void okClosesItAndTheNextOpeningPlacesItAnew();
    void escClosesItAndTheNextOpeningPlacesItAnew();
    void escClosesItWhenTheOkButtonHasTheFocus();
    void otherKeysLeaveItOpen_data();
    void otherKeysLeaveItOpen();
    void keyHandlerActsOnEscOnly();
    void openingRightAfterClosingLoadsAFreshWindow();

    void staysInFrontOfItsOwner();
    void staysOpenWhileItsOwnerHidesAndShows();
    void standsAloneWithoutOwner();
    void speaksToScreenReaders();

  private:
    HelpPage* open(const QString& version = kVersion, QWidget* owner = nullptr);
    void closeWithOk();

    QWidget* mainWindow_ = nullptr;
    QPointer<HelpPage> help_;
};

void HelpPageTest::init() {
    mainWindow_ = new QWidget;
    mainWindow_->resize(461, 242);
    mainWindow_->move(kMainWindowCorner);
    mainWindow_->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainWindow_));
    mainWindow_->move(kMainWindowCorner);
}

void HelpPageTest::cleanup() {
    delete help_;
    delete mainWindow_;
    mainWindow_ = nullptr;
    runPendingDeletes();
}

HelpPage* HelpPageTest::open(const QString& version, QWidget* owner) {
    HelpPage* help = openHelpWindow(help_, mainWindow_, version, owner);
    if (!QTest::qWaitForWindowExposed(help)) {
        qWarning("the help window was never exposed");
    }
    return help;
}

void HelpPageTest::closeWithOk() {
    QTest::mouseClick(help_->okButton, Qt::LeftButton);
    runPendingDeletes();
}

void HelpPageTest::showsEachHelpLineWithItsTextAndPlace_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("top");
    QTest::addColumn<bool>("heading");

    for (const kelvane::design::HelpLine& line : kelvane::design::kHelpLines) {
        QString text =
            QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.text.size()));
        text.replace(QLatin1String("%1"), QDir::toNativeSeparators(QDir::homePath()));
        QTest::newRow(line.name.data()) << text << line.top << line.heading;
    }
}

void HelpPageTest::showsEachHelpLineWithItsTextAndPlace() {
    QFETCH(QString, text);
    QFETCH(int, top);
    QFETCH(bool, heading);

    HelpPage* help = open();
    const auto* label =
        help->frame->findChild<QLabel*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(label != nullptr);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->pos(), QPoint(toPixels(heading ? 150 : 450, help), toPixels(top, help)));
    QCOMPARE(label->font().bold(), heading);
    QVERIFY(label->height() >= toPixels(195, help));
}

void HelpPageTest::showsExactlyNineteenHelpLines() {
    HelpPage* help = open();
    const QList<QLabel*> labels = help->frame->findChildren<QLabel*>();
    QCOMPARE(labels.size(), 20);  // the nineteen lines and the version
    QVERIFY(labels.contains(help->versionLabel));
    QCOMPARE(help->lines[4]->text().count(QLatin1Char('\t')), 1);
}

void HelpPageTest::speaksOfTheSystemItRunsOn() {
    HelpPage* help = open();
#ifndef Q_OS_WIN
    // Paths the user could type as they stand: in the home folder, not "~".
    const QString home = QDir::homePath();
    QCOMPARE(help->lines[11]->text(), "File1 " + home + "/somefolder/folder1/myfile.txt");
    QCOMPARE(help->lines[12]->text(), "File2 " + home + "/somefolder/folder2/myfile.txt");
    QCOMPARE(help->lines[13]->text(), "File3 " + home + "/cloudfolder/folder3/myfile.txt");
#endif
    for (const QLabel* label : help->frame->findChildren<QLabel*>()) {
        QCOMPARE(label->textFormat(), Qt::PlainText);  // a home folder may hold anything
#ifndef Q_OS_WIN
        for (const char* windowsWord : {"C:\\", "Windows", "shell:", "File Explorer"}) {
            QVERIFY2(!label->text().contains(QLatin1String(windowsWord)),
                     qPrintable(label->objectName()));
        }
#endif
    }
}

void HelpPageTest::cutsNoLineOff() {
    HelpPage* help = open();
    for (const QLabel* label : help->frame->findChildren<QLabel*>()) {
        QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->objectName()));
        QVERIFY2(label->geometry().right() < help->frame->width(), qPrintable(label->objectName()));
    }
    QVERIFY(help->frame->geometry().right() < help->width());
}

void HelpPageTest::keepsItsClientAreaFixed() {
    HelpPage* help = open();
    QCOMPARE(help->minimumSize(), help->maximumSize());
    QCOMPARE(help->height(), toPixels(5700, help));
    // Only where a stand-in font is wider than the designed one does it grow sideways.
    QVERIFY(help->width() >= toPixels(4800, help));
    QCOMPARE(help->frame->pos(), QPoint(toPixels(75, help), 0));
    QCOMPARE(help->frame->height(), toPixels(5640, help));
    QCOMPARE(help->versionLabel->pos(), QPoint(toPixels(1950, help), toPixels(5325, help)));
    QCOMPARE(help->okButton->y(), toPixels(5175, help));
    QCOMPARE(help->okButton->size(), QSize(toPixels(540, help), toPixels(315, help)));
    QCOMPARE(help->okButton->text(), QStringLiteral("OK"));
}

void HelpPageTest::isTitledKelvaneHelp() {
    HelpPage* help = open();
    QCOMPARE(help->windowTitle(), QStringLiteral("Kelvane Help"));
    QCOMPARE(help->objectName(), QStringLiteral("HelpForm"));
}

void HelpPageTest::carriesTheApplicationIconInEverySize() {
    HelpPage* help = open();
    const QList<QSize> sizes = help->windowIcon().availableSizes();
    for (const int size : {16, 24, 32, 48, 64, 96, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        QVERIFY(!help->windowIcon().pixmap(size).isNull());
    }
}

void HelpPageTest::readsV000OnlyUntilLoaded() {
    HelpPage unloaded;
    QCOMPARE(unloaded.versionLabel->text(), QStringLiteral("v0.00"));
}

void HelpPageTest::readsTheMainWindowsVersionOnceOpen() {
    HelpPage* help = open();
    QCOMPARE(help->versionLabel->text(), kVersion);
    QVERIFY(help->versionLabel->width() >= help->versionLabel->sizeHint().width());
}

void HelpPageTest::opensFourHundredTwipsRightOfAndBelowTheMainWindow() {
    HelpPage* help = open();
    QCOMPARE(help->pos(), mainWindow_->pos() + loadOffset(mainWindow_));
}

void HelpPageTest::placesItselfFromAHiddenMainWindow() {
    mainWindow_->hide();
    mainWindow_->move(340, 280);
    HelpPage* help = open();
    QCOMPARE(help->pos(), QPoint(340, 280) + loadOffset(mainWindow_));
}

void HelpPageTest::openingTwiceGivesTheSameWindowInItsPlace() {
    HelpPage* first = open();
    const QPoint placed = first->pos();
    mainWindow_->move(kMainWindowCorner + QPoint(90, 70));

    HelpPage* second = open(QStringLiteral("v9.99"));
    QCOMPARE(second, first);
    QCOMPARE(second->pos(), placed);
    QCOMPARE(second->versionLabel->text(), kVersion);
    QCOMPARE(mainWindow_->findChildren<HelpPage*>().size(), 0);
    QVERIFY(second->isVisible());
}

void HelpPageTest::okClosesItAndTheNextOpeningPlacesItAnew() {
    open();
    closeWithOk();
    QVERIFY(help_.isNull());

    mainWindow_->move(kMainWindowCorner + QPoint(120, 40));
    HelpPage* help = open();
    QCOMPARE(help->pos(), mainWindow_->pos() + loadOffset(mainWindow_));
    QCOMPARE(help->versionLabel->text(), kVersion);
}

void HelpPageTest::escClosesItAndTheNextOpeningPlacesItAnew() {
    HelpPage* help = open();
    QTest::keyClick(help->windowHandle(), Qt::Key_Escape);
    runPendingDeletes();
    QVERIFY(help_.isNull());

    mainWindow_->move(kMainWindowCorner + QPoint(-60, 30));
    help = open();
    QCOMPARE(help->pos(), mainWindow_->pos() + loadOffset(mainWindow_));
}

void HelpPageTest::escClosesItWhenTheOkButtonHasTheFocus() {
    HelpPage* help = open();
    help->okButton->setFocus();
    QCOMPARE(help->focusWidget(), help->okButton);

    QTest::keyClick(help->okButton, Qt::Key_Escape);
    QVERIFY(!help->isVisible());
    runPendingDeletes();
    QVERIFY(help_.isNull());
}

void HelpPageTest::otherKeysLeaveItOpen_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("a") << int(Qt::Key_A);
    QTest::newRow("5") << int(Qt::Key_5);
    QTest::newRow("Backspace") << int(Qt::Key_Backspace);
    QTest::newRow("Tab") << int(Qt::Key_Tab);
    QTest::newRow("F1") << int(Qt::Key_F1);
    QTest::newRow("Delete") << int(Qt::Key_Delete);
    QTest::newRow("Left") << int(Qt::Key_Left);
}

void HelpPageTest::otherKeysLeaveItOpen() {
    QFETCH(int, key);
    HelpPage* help = open();
    const QPoint placed = help->pos();

    QTest::keyClick(help->windowHandle(), static_cast<Qt::Key>(key));
    QTest::keyClick(help->okButton, static_cast<Qt::Key>(key));
    QTest::keyClick(help, static_cast<Qt::Key>(key));
    runPendingDeletes();

    QVERIFY(!help_.isNull());
    QVERIFY(help->isVisible());
    QVERIFY(help->isLoaded());
    QCOMPARE(help->pos(), placed);
    QCOMPARE(help->versionLabel->text(), kVersion);
}

void HelpPageTest::keyHandlerActsOnEscOnly() {
    HelpPage* help = open();
    for (int keyAscii = 0; keyAscii <= 0xFFFF; ++keyAscii) {
        if (keyAscii != 27) {
            help->keyTyped(keyAscii);
        }
    }
    QVERIFY(help->isVisible());

    help->keyTyped(27);
    QVERIFY(!help->isVisible());
    QVERIFY(!help->isLoaded());
}

void HelpPageTest::openingRightAfterClosingLoadsAFreshWindow() {
    HelpPage* first = open();
    first->okClicked();
    // Before the event loop has deleted the closed window, an opening must not revive it.
    HelpPage* second = open();
    QVERIFY(second != first);
    QVERIFY(second->isVisible());
    QCOMPARE(second->versionLabel->text(), kVersion);
    runPendingDeletes();
    QCOMPARE(help_.data(), second);
}

void HelpPageTest::staysInFrontOfItsOwner() {
    HelpPage* help = open(kVersion, mainWindow_);
    QVERIFY(help->isWindow());
    QCOMPARE(help->parentWidget(), mainWindow_);
    QCOMPARE(help->windowHandle()->transientParent(), mainWindow_->windowHandle());
    QVERIFY(help->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QCOMPARE(help->pos(), mainWindow_->pos() + loadOffset(mainWindow_));
}

void HelpPageTest::staysOpenWhileItsOwnerHidesAndShows() {
    HelpPage* help = open(kVersion, mainWindow_);
    const QPoint placed = help->pos();
    mainWindow_->hide();
    QVERIFY(help->isVisible());
    mainWindow_->move(kMainWindowCorner + QPoint(50, 50));
    mainWindow_->show();
    QVERIFY(help->isVisible());
    QVERIFY(help->isLoaded());
    QCOMPARE(help->pos(), placed);
}

void HelpPageTest::standsAloneWithoutOwner() {
    HelpPage* help = open();
    QVERIFY(help->isWindow());
    QCOMPARE(help->parentWidget(), nullptr);
    QVERIFY(help->testAttribute(Qt::WA_DeleteOnClose));
}

void HelpPageTest::speaksToScreenReaders() {
    HelpPage* help = open();
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(help);
    QVERIFY(window != nullptr);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Kelvane Help"));

    QAccessibleInterface* ok = QAccessible::queryAccessibleInterface(help->okButton);
    QVERIFY(ok != nullptr);
    QCOMPARE(ok->role(), QAccessible::Button);
    QCOMPARE(ok->text(QAccessible::Name), QStringLiteral("OK"));

    QAccessibleInterface* line = QAccessible::queryAccessibleInterface(help->lines[15]);
    QCOMPARE(line->text(QAccessible::Name), help->lines[15]->text());
    QAccessibleInterface* version = QAccessible::queryAccessibleInterface(help->versionLabel);
    QCOMPARE(version->text(QAccessible::Name), kVersion);
}

QTEST_MAIN(HelpPageTest)
#include "HelpPageTest.moc"
