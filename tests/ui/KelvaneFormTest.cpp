// The settings window driven as a user would: real files, real clicks, answered boxes.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTextDocument>
#include <QtTest>
#include <filesystem>

#include "FakeDialogs.h"
#include "support/FaultyFileSystem.h"
#include "support/TempFolder.h"
#include "tray/TrayIcon.h"
#include "ui/HelpForm.h"
#include "ui/KelvaneForm.h"
#include "ui/Metrics.h"

using kelvane::testing::FakeDialogs;
using kelvane::testing::FaultyFileSystem;
using kelvane::testing::TempFolder;
using kelvane::ui::KelvaneForm;

namespace {

constexpr std::int64_t kOld = 1'600'000'000;
constexpr std::int64_t kNew = 1'700'000'000;
const QDateTime kPinnedNow(QDate(2025, 3, 14), QTime(21, 5, 7));

QColor textColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}
QColor background(const QLabel* label) {
    return label->palette().color(QPalette::Window);
}

// What a first run suggests: one file name in two folders, spelled as the system spells paths.
QString firstRunExample(int slot) {
#ifdef Q_OS_WIN
    return slot == 1 ? QStringLiteral("C:\\SomePath\\ExampleFolder\\file1.txt")
                     : QStringLiteral("C:\\CloudPath\\ExampleFolder\\file1.txt");
#else
    return QDir::homePath() + (slot == 1 ? QStringLiteral("/Documents/ExampleFolder/file1.txt")
                                         : QStringLiteral("/Cloud/ExampleFolder/file1.txt"));
#endif
}

}  // namespace

class KelvaneFormTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TempFolder> folder;
    std::unique_ptr<FaultyFileSystem> fileSystem;
    std::unique_ptr<FakeDialogs> dialogs;
    std::unique_ptr<KelvaneForm> form;

    QString file(int slot) const {
        return QString::fromStdString(
            folder->file(std::string(1, static_cast<char>('a' + slot - 1)) + "/notes.txt"));
    }
    void put(int slot, const std::string& content, std::int64_t seconds) {
        kelvane::testing::writeFileAt(file(slot).toStdString(), content, seconds);
    }
    std::string contentOf(int slot) const {
        return kelvane::testing::readFile(file(slot).toStdString());
    }
    // A first run in an empty folder, with the two slots pointing at real files.
    void pointSlotsAtFiles() {
        form->File1Text->setText(file(1));
        form->File2Text->setText(file(2));
        form->File3Text->setText(file(3));
    }
    QString statusFor(const QString& prefix) const {
        return prefix + kelvane::ui::statusDateTime(kPinnedNow, QLocale::system());
    }
    void typeInterval(const QString& text) { form->AutoSyncIntervalText->setText(text); }
    std::string ini() const { return folder->file("Kelvane.ini"); }
    std::string savedSettings() {
        return form->SaveSettingsToINI().ok() ? kelvane::testing::readFile(ini()) : "";
    }
    // The program started again on a settings file with these lines.
    void startWithSettings(const std::string& lines) {
        form.reset();
        dialogs = std::make_unique<FakeDialogs>();
        kelvane::testing::writeFile(ini(), lines);
        form = std::make_unique<KelvaneForm>(*fileSystem, *dialogs);
        form->now = [] { return kPinnedNow; };
        QVERIFY(
            form->Form_Load(QString::fromStdString(folder->file("Kelvane")), [] { return false; }));
    }
  private slots:
    void init() {
        folder = std::make_unique<TempFolder>();
        for (const char* sub : {"a", "b", "c"}) {
            folder->makeFolder(sub);
        }
        fileSystem = std::make_unique<FaultyFileSystem>();
        dialogs = std::make_unique<FakeDialogs>();
        form = std::make_unique<KelvaneForm>(*fileSystem, *dialogs);
        form->now = [] { return kPinnedNow; };
        QVERIFY(
            form->Form_Load(QString::fromStdString(folder->file("Kelvane")), [] { return false; }));
    }

    void cleanup() {
        form.reset();
        dialogs.reset();
        fileSystem.reset();
        folder.reset();
    }

    void firstRunShowsTheDesignValues() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Kelvane v1.45"));
        QVERIFY(form->File1Selected->isChecked());
        QVERIFY(form->File2Selected->isChecked());
        QVERIFY(!form->File3Selected->isChecked());
        QCOMPARE(form->File1Text->text(), firstRunExample(1));
        QCOMPARE(form->File2Text->text(), firstRunExample(2));
        QCOMPARE(form->File3Text->text(), QString());
        QCOMPARE(form->AutoSyncIntervalText->text(), QStringLiteral("10"));
        QCOMPARE(form->AutoSyncLabel->text(), QStringLiteral(" OFF "));
        QCOMPARE(background(form->AutoSyncLabel), QColor(240, 240, 240));
        QCOMPARE(form->LastSyncLabel->text(), QStringLiteral("NIL"));
        QVERIFY(form->helpForm != nullptr);
        QVERIFY(!QFileInfo::exists(form->iniFilePath));
        QCOMPARE(form->iniFilePath, QString::fromStdString(folder->file("Kelvane.ini")));
    }

    void everyControlCarriesItsNameAndTheFocusOrderIsFixed() {
        for (const char* name :
             {"File1Selected", "File1Text", "Browse1", "File3Text", "SyncNowCommand",
              "AutoSyncLabel", "AutoSyncIntervalText", "LastSyncLabel", "HideToTrayCommand"}) {
            QVERIFY2(form->findChild<QWidget*>(QString::fromLatin1(name)) != nullptr, name);
        }
        QCOMPARE(form->File1Text->accessibleName(), QStringLiteral("File1 path"));
        QCOMPARE(form->Browse3->accessibleName(), QStringLiteral("Browse for File3"));
        QCOMPARE(form->LastSyncLabel->accessibleDescription(), QStringLiteral("Latest sync"));
        QCOMPARE(form->File3Selected->nextInFocusChain(), form->File2Selected);
        QCOMPARE(form->HideToTrayCommand->nextInFocusChain(), form->Browse1);
    }

    void statusLineFollowsTheUsersLocale() {
        QCOMPARE(kelvane::ui::statusDateTime(kPinnedNow,
                                             QLocale(QLocale::English, QLocale::UnitedStates))
                     .replace(QChar(0x202F), QLatin1Char(' ')),
                 QStringLiteral("3/14/2025 at 9:05:07 PM"));
        QCOMPARE(
            kelvane::ui::statusDateTime(kPinnedNow, QLocale(QLocale::German, QLocale::Germany)),
            QStringLiteral("14.03.2025 at 21:05:07"));
    }

    void syncNowCopiesAndShowsTheStatusInBold() {
        put(1, "new", kNew);
        put(2, "old", kOld);
        pointSlotsAtFiles();

        QTest::mouseClick(form->SyncNowCommand, Qt::LeftButton);

        QCOMPARE(contentOf(2), std::string("new"));
        QCOMPARE(form->LastSyncLabel->text(), statusFor(QStringLiteral("File2 updated ")));
        QVERIFY(form->LastSyncLabel->font().bold());
        QCOMPARE(textColour(form->LastSyncLabel), QColor(0, 0, 0));
        QVERIFY(dialogs->messages.isEmpty());
    }

    void equalTimesKeepTheTextInNormalWeight() {
        put(1, "same", kOld);
        put(2, "same", kOld);
        pointSlotsAtFiles();
        form->LastSyncLabel->setText(QStringLiteral("earlier line"));

        form->SyncNowCommand_Click();

        QCOMPARE(form->LastSyncLabel->text(), QStringLiteral("earlier line"));
        QVERIFY(!form->LastSyncLabel->font().bold());
    }

    void refusalSwitchesAutoSyncOffBeforeItsMessage() {
        put(1, "new", kNew);
        pointSlotsAtFiles();
        form->AutoSyncCommand_Click();
        QCOMPARE(form->appSettings.AutoSync, std::string("ON"));
        bool timerRanDuringMessage = true;
        dialogs->whileMessageShown = [&] { timerRanDuringMessage = form->Timer1->isActive(); };

        form->SyncNowCommand_Click();

        QCOMPARE(dialogs->messages,
                 QStringList{QStringLiteral(
                     "File2 not found\r\n\r\nCheck file path and name or unselect file.")});
        QVERIFY(!timerRanDuringMessage);
        QCOMPARE(form->appSettings.AutoSync, std::string("OFF"));
        QCOMPARE(form->AutoSyncLabel->text(), QStringLiteral(" OFF "));
        QVERIFY(form->File1Text->isEnabled());
    }

    void failedPassShowsTheRedLineAndKeepsAutoSync() {
        put(1, "new", kNew);
        put(2, "old", kOld);
        pointSlotsAtFiles();
        form->AutoSyncCommand_Click();
        fileSystem->unsearchable.insert(file(2).toStdString());

        form->Timer1_Timer();

        QCOMPARE(form->LastSyncLabel->text(),
                 QStringLiteral("Sync failed. File(s) might be open in other app."));
        QCOMPARE(textColour(form->LastSyncLabel), QColor(255, 0, 0));
        QVERIFY(form->LastSyncLabel->font().bold());
        QVERIFY(dialogs->messages.isEmpty());
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(contentOf(2), std::string("old"));

        fileSystem->unsearchable.clear();
        put(2, "old", kNew);  // equal times now
        form->Timer1_Timer();
        QCOMPARE(form->LastSyncLabel->text(),
                 QStringLiteral("Sync failed. File(s) might be open in other app."));
        QCOMPARE(textColour(form->LastSyncLabel), QColor(0, 0, 0));
        QVERIFY(!form->LastSyncLabel->font().bold());
    }

    void hiddenFailuresAreToldOncePerRun() {
        put(1, "new", kNew);
        put(2, "old", kOld);
        pointSlotsAtFiles();
        form->hide();
        fileSystem->unsearchable.insert(file(2).toStdString());

        form->Timer1_Timer();
        form->Timer1_Timer();
        QCOMPARE(form->trayIcon()->notificationsShown(), 1);

        fileSystem->unsearchable.clear();
        form->Timer1_Timer();
        fileSystem->unsearchable.insert(file(2).toStdString());
        form->Timer1_Timer();
        QCOMPARE(form->trayIcon()->notificationsShown(), 2);

        form->show();
        form->Timer1_Timer();
        QCOMPARE(form->trayIcon()->notificationsShown(), 2);  // the red line says it
    }

    void timerTicksRunPasses() {
        put(1, "new", kNew);
        put(2, "old", kOld);
        pointSlotsAtFiles();
        typeInterval(QStringLiteral("1"));
        form->AutoSyncCommand_Click();
        QCOMPARE(form->Timer1->interval(), 1000);

        QTRY_COMPARE_WITH_TIMEOUT(contentOf(2), std::string("new"), 3000);
        QCOMPARE(form->LastSyncLabel->text(), statusFor(QStringLiteral("File2 updated ")));
    }

    void intervalsAreJudgedBeforeAutoSyncStarts_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("10") << "10" << QString() << 10'000;
        QTest::newRow("60 inclusive") << "60" << QString() << 60'000;
        QTest::newRow("060 keeps zero") << "060" << QString() << 60'000;
        QTest::newRow("61") << "61"
                            << "Max Sync Interval is 60 seconds" << 0;
        QTest::newRow("0") << "0"
                           << "Min Sync Interval is 1 second" << 0;
        QTest::newRow("00") << "00"
                            << "Min Sync Interval is 1 second" << 0;
        QTest::newRow("-5") << "-5"
                            << "Enter only numbers to Sync Interval" << 0;
        QTest::newRow("+5") << "+5"
                            << "Enter only numbers to Sync Interval" << 0;
        QTest::newRow("1.5") << "1.5"
                             << "Enter only numbers to Sync Interval" << 0;
        QTest::newRow("blank 5") << " 5"
                                 << "Enter only numbers to Sync Interval" << 0;
        QTest::newRow("empty") << ""
                               << "Enter only numbers to Sync Interval" << 0;
    }

    void intervalsAreJudgedBeforeAutoSyncStarts() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(int, milliseconds);
        typeInterval(typed);

        form->AutoSyncCommand_Click();

        if (message.isEmpty()) {
            QVERIFY(dialogs->messages.isEmpty());
            QCOMPARE(form->appSettings.AutoSync, std::string("ON"));
            QCOMPARE(form->appSettings.SyncInterval, typed.toStdString());
            QCOMPARE(form->Timer1->interval(), milliseconds);
            QVERIFY(form->Timer1->isActive());
            QCOMPARE(form->AutoSyncLabel->text(), QStringLiteral(" ON "));
            QCOMPARE(background(form->AutoSyncLabel), QColor(0, 255, 0));
            for (QWidget* locked : {static_cast<QWidget*>(form->File1Selected),
                                    static_cast<QWidget*>(form->File3Text),
                                    static_cast<QWidget*>(form->AutoSyncIntervalText)}) {
                QVERIFY(!locked->isEnabled());
            }
            QVERIFY(form->Browse1->isEnabled());
            QVERIFY(form->SyncNowCommand->isEnabled());
        } else {
            QCOMPARE(dialogs->messages, QStringList{message});
            QCOMPARE(form->appSettings.AutoSync, std::string("OFF"));
            QCOMPARE(form->appSettings.SyncInterval, std::string("10"));
            QVERIFY(!form->Timer1->isActive());
            QCOMPARE(form->AutoSyncLabel->text(), QStringLiteral(" OFF "));
            QCOMPARE(background(form->AutoSyncLabel), QColor(240, 240, 240));
            QVERIFY(form->AutoSyncIntervalText->isEnabled());
        }
    }

    void toggleSwitchesOnThenOff() {
        form->AutoSyncCommand_Click();
        form->AutoSyncCommand_Click();

        QCOMPARE(form->appSettings.AutoSync, std::string("OFF"));
        QVERIFY(!form->Timer1->isActive());
        QVERIFY(form->File2Text->isEnabled());
        QVERIFY(form->AutoSyncIntervalText->isEnabled());
    }

    void intervalBoxHoldsFiveCharacters() {
        QTest::keyClicks(form->AutoSyncIntervalText, QStringLiteral("1234567"));
        QCOMPARE(form->AutoSyncIntervalText->text().size(), 5);
    }

    void firstRunExamplesAreOneFileInTwoFoldersOfThisSystem() {
        const QFileInfo first(form->File1Text->text()), second(form->File2Text->text());
        QCOMPARE(first.fileName(), second.fileName());
        QVERIFY(first.absolutePath() != second.absolutePath());
        QVERIFY(savedSettings().find("File2=" + firstRunExample(2).toStdString()) !=
                std::string::npos);
    }

    void browseFillsOnlyItsBoxAndCancelKeepsIt() {
        form->File2Selected->setChecked(false);
        dialogs->filesToChoose = {file(2), QString()};

        form->Browse2_Click();
        QCOMPARE(form->File2Text->text(), file(2));
        QVERIFY(!form->File2Selected->isChecked());
        QCOMPARE(form->File1Text->text(), firstRunExample(1));

        form->Browse2_Click();
        QCOMPARE(form->File2Text->text(), file(2));
        QCOMPARE(dialogs->startFolders.last(), QFileInfo(file(2)).absolutePath());
    }

    void browseStillFillsALockedBox() {
        form->AutoSyncCommand_Click();
        dialogs->filesToChoose = {file(3)};

        QTest::mouseClick(form->Browse3, Qt::LeftButton);

        QVERIFY(!form->File3Text->isEnabled());
        QCOMPARE(form->File3Text->text(), file(3));
    }

    void aStoredIntervalIsJudgedAsStoredAndTypingStaysLimited() {
        startWithSettings("[SyncSettings]\nSyncInterval=000001\nAutoSync=ON\n");
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(form->Timer1->interval(), 1000);
        form->AutoSyncCommand_Click();
        QCOMPARE(form->AutoSyncIntervalText->text(), QStringLiteral("000001"));

        QTest::keyClicks(form->AutoSyncIntervalText, QStringLiteral("2"));
        QCOMPARE(form->AutoSyncIntervalText->text(), QStringLiteral("000001"));
        form->AutoSyncIntervalText->selectAll();
        QTest::keyClicks(form->AutoSyncIntervalText, QStringLiteral("1234567"));
        QCOMPARE(form->AutoSyncIntervalText->text(), QStringLiteral("12345"));
    }

    void aRefusedStoredIntervalLeavesAutoSyncOffEverywhere() {
        startWithSettings("[SyncSettings]\nSyncInterval=75\nAutoSync=ON\n");
        QCOMPARE(dialogs->messages, QStringList{QStringLiteral("Max Sync Interval is 60 seconds")});
        QCOMPARE(form->AutoSyncLabel->text(), QStringLiteral(" OFF "));
        QVERIFY(savedSettings().find("AutoSync=OFF") != std::string::npos);

        typeInterval(QStringLiteral("5"));
        form->AutoSyncCommand_Click();  // one press switches it on
        QCOMPARE(form->AutoSyncLabel->text(), QStringLiteral(" ON "));
    }

    void aWindowOffEveryScreenOpensOnThePrimaryOne_data() {
        QTest::addColumn<int>("left");  // twips
        QTest::addColumn<int>("top");
        QTest::addColumn<bool>("kept");
        QTest::newRow("primary screen") << 3000 << 1500 << true;
        QTest::newRow("partly above the top") << 3000 << -150 << true;
        QTest::newRow("second screen") << 15'000 << 1500 << true;
        QTest::newRow("off every screen") << 150'000 << 1500 << false;
    }

    void aWindowOffEveryScreenOpensOnThePrimaryOne() {
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(bool, kept);
        startWithSettings("[FormLocation]\nFormTop=" + std::to_string(top) +
                          "\nFormLeft=" + std::to_string(left) + "\n");
        form->show();

        const QPoint stored(kelvane::ui::toPixels(left, form.get()),
                            kelvane::ui::toPixels(top, form.get()));
        const QRect primary = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form->pos() == stored, kept);
        QVERIFY(kept || primary.contains(form->frameGeometry()));
    }

    void aStoredGreyTickShowsGreyAndClicksOnlyTickOrUntick() {
        startWithSettings("[SelectedFiles]\nFile1_Selected=2\n");
        QCOMPARE(form->File1Selected->checkState(), Qt::PartiallyChecked);
        QList<Qt::CheckState> states;
        for (int click = 0; click < 3; ++click) {
            QTest::mouseClick(form->File1Selected, Qt::LeftButton);
            states << form->File1Selected->checkState();
        }
        QCOMPARE(states, (QList<Qt::CheckState>{Qt::Checked, Qt::Unchecked, Qt::Checked}));
    }

    void storedTextAndFailureReasonsShowAsPlainText() {
        startWithSettings(
            "[SyncEvents]\nLastSyncEvent=<b>bold</b>\n[SelectedFiles]\n"
            "File1_Selected=1\nFile2_Selected=1\n");
        for (const QLabel* label : form->findChildren<QLabel*>()) {
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        }
        const std::string marked = folder->makeFolder("<b>b").string() + "/notes.txt";
        put(1, "new", kNew);
        kelvane::testing::writeFileAt(marked, "old", kOld);
        form->File1Text->setText(file(1));
        form->File2Text->setText(QString::fromStdString(marked));
        fileSystem->unsearchable.insert(marked);

        form->SyncNowCommand_Click();

        QTextDocument tip;
        tip.setHtml(form->LastSyncLabel->toolTip());
        QVERIFY(tip.toPlainText().contains(QString::fromStdString(marked)));
    }

    void messageBoxesShowTheirTextAsWritten() {
        kelvane::ui::QtDialogs boxes;
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&format] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
                    format = box->textFormat();
                    box->accept();
                }
            }
        });
        boxes.warning(nullptr, QStringLiteral("Kelvane could not save its settings to /tmp/<b>"));
        QCOMPARE(format, Qt::PlainText);
    }

    void trayClickBringsAMinimisedWindowBackAndHidesOnlyANormalOne() {
        form->show();
        form->showMinimized();
        emit form->trayIcon()->leftClicked();
        QVERIFY(form->isVisible() && !form->isMinimized());
        emit form->trayIcon()->leftClicked();
        QVERIFY(!form->isVisible());
    }

    void helpOpensOnceBesideTheWindow() {
        form->helpForm->close();
        QTRY_VERIFY(form->helpForm == nullptr);
        form->move(200, 150);

        form->HelpCommand_Click();
        kelvane::ui::HelpForm* first = form->helpForm;
        form->HelpCommand_Click();

        QCOMPARE(form->helpForm.data(), first);
        QCOMPARE(first->VersionLabel->text(), QStringLiteral("v1.45"));
        const int offset = kelvane::ui::toPixels(400, form.get());
        QCOMPARE(first->pos(), form->pos() + QPoint(offset, offset));
    }
};

// Two screens side by side, so that a window on the second one can be told from a window
// on none.
int main(int argc, char** argv) {
    const std::filesystem::path screens =
        std::filesystem::temp_directory_path() /
        ("kelvane-screens-" + std::to_string(QCoreApplication::applicationPid()) + ".json");
    kelvane::testing::writeFile(screens.string(),
                                R"({"screens": [
            {"name": "left", "x": 0, "y": 0, "width": 800, "height": 600,
             "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
            {"name": "right", "x": 800, "y": 0, "width": 800, "height": 600,
             "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + screens.string().c_str());
    QApplication application(argc, argv);
    std::filesystem::remove(screens);
    KelvaneFormTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "KelvaneFormTest.moc"
