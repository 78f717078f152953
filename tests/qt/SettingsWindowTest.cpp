// The Qt window as a user meets it: each control reaches the program, and what only
// widgets can show (names, focus order, fonts, colours, plain text, screens) is right.
// What the program decides is tested once, on a fake face, in tests/behaviour.
#include <QtTest/qtestspontaneevent.h>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>
#include <QTextDocument>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "FakeDialogs.h"
#include "behaviour/Program.h"
#include "design/SettingsWindowDesign.h"
#include "qt/Metrics.h"
#include "qt/QtFace.h"
#include "support/FakeSessionStart.h"
#include "support/FaultyFileSystem.h"
#include "support/TempFolder.h"

using kelvane::testing::FakeDialogs;
using kelvane::testing::FakeSessionStart;
using kelvane::testing::FaultyFileSystem;
using kelvane::testing::TempFolder;
namespace design = kelvane::design;

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

QString text(std::string_view designed) {
    return QString::fromUtf8(designed.data(), static_cast<qsizetype>(designed.size()));
}

int toPixels(int twips, const QWidget* widget) {
    return kelvane::qt::toPixels(twips, widget);
}

bool isOfKind(const QWidget* widget, design::Kind kind) {
    switch (kind) {
        case design::Kind::Frame:
            return qobject_cast<const QFrame*>(widget) && !qobject_cast<const QLabel*>(widget);
        case design::Kind::Label:
        case design::Kind::Badge:
            return qobject_cast<const QLabel*>(widget) != nullptr;
        case design::Kind::TickBox:
            return qobject_cast<const QCheckBox*>(widget) != nullptr;
        case design::Kind::TextBox:
            return qobject_cast<const QLineEdit*>(widget) != nullptr;
        case design::Kind::Button:
            break;
    }
    return qobject_cast<const QPushButton*>(widget) != nullptr;
}

// A frame's caption is a label of its own, checked apart.
QString captionOf(const QWidget* widget, design::Kind kind) {
    switch (kind) {
        case design::Kind::Label:
        case design::Kind::Badge:
            return static_cast<const QLabel*>(widget)->text();
        case design::Kind::TextBox:
            return static_cast<const QLineEdit*>(widget)->text();
        case design::Kind::Button:
            return static_cast<const QPushButton*>(widget)->text();
        default:
            break;
    }
    const auto* caption = widget->findChild<QLabel*>(widget->objectName() + "Caption");
    return caption != nullptr ? caption->text() : QString();
}

double designedPoints(design::Font font) {
    switch (font) {
        case design::Font::PathBox:
            return 9.75;
        default:
            return 8.25;
    }
}

// Where a stand-in font is wider than the designed one, these captions move clear of the
// control beside them.
QStringList captionsMovedClear() {
    return {QStringLiteral("Label8"), QStringLiteral("Label3"), QStringLiteral("LastSyncLabel")};
}

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TempFolder> folder;
    std::unique_ptr<FaultyFileSystem> fileSystem;
    std::unique_ptr<kelvane::platform::SettingsStore> settingsStore;
    std::unique_ptr<FakeDialogs> dialogs;
    std::unique_ptr<FakeSessionStart> sessionStart;
    std::unique_ptr<kelvane::qt::QtFace> face;
    std::unique_ptr<kelvane::behaviour::Program> program;

    kelvane::qt::SettingsWindow& window() { return face->window(); }
    kelvane::qt::SlotRow& row(int slot) {
        return window().rows[static_cast<std::size_t>(slot - 1)];
    }
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
    std::string ini() const { return folder->file("Kelvane.ini"); }
    // The program started on a settings file with these lines (none: a first run).
    void start(const std::string& lines = {}) {
        program.reset();
        face.reset();
        dialogs = std::make_unique<FakeDialogs>();
        if (!lines.empty()) {
            kelvane::testing::writeFile(ini(), lines);
        }
        face = std::make_unique<kelvane::qt::QtFace>(*dialogs);
        face->now = [] { return kPinnedNow; };
        program = std::make_unique<kelvane::behaviour::Program>(*face, *fileSystem, *settingsStore,
                                                                ini());
        program->setSessionStart(*sessionStart);
        face->connectTo(*program);
        program->start();
    }
    void pointSlotsAtFiles() {
        for (int slot = 1; slot <= 3; ++slot) {
            row(slot).path->setText(file(slot));
        }
    }
    QString statusFor(const QString& prefix) const {
        return prefix + kelvane::qt::statusDateTime(kPinnedNow, QLocale::system());
    }

  private slots:
    void init() {
        folder = std::make_unique<TempFolder>();
        for (const char* sub : {"a", "b", "c"}) {
            folder->makeFolder(sub);
        }
        fileSystem = std::make_unique<FaultyFileSystem>();
        settingsStore = kelvane::platform::makeSystemSettingsStore();
        sessionStart = std::make_unique<FakeSessionStart>();
        start();
    }

    void cleanup() {
        program.reset();
        face.reset();
        dialogs.reset();
        sessionStart.reset();
        fileSystem.reset();
        folder.reset();
    }

    void firstRunFillsTheWindowAndOpensTheHelpPage() {
        QCOMPARE(window().windowTitle(), QStringLiteral("Kelvane v1.45"));
        QVERIFY(window().isVisible());
        QCOMPARE(row(1).path->text(),
                 QString::fromStdString(kelvane::settings::firstRunExample(1)));
        QCOMPARE(row(2).path->text(),
                 QString::fromStdString(kelvane::settings::firstRunExample(2)));
        QCOMPARE(row(3).path->text(), QString());
        QVERIFY(row(1).tick->isChecked() && row(2).tick->isChecked());
        QVERIFY(!row(3).tick->isChecked());
        QCOMPARE(window().interval->text(), QStringLiteral("10"));
        QCOMPARE(window().autoSyncBadge->text(), QStringLiteral(" OFF "));
        QCOMPARE(background(window().autoSyncBadge), kelvane::qt::toQColor(design::kBadgeOff));
        QCOMPARE(window().lastSync->text(), QStringLiteral("NIL"));
        QVERIFY(face->helpPage() != nullptr);
    }

    // The icon is handed over only after the first paint, but then in every size.
    void theWindowCarriesTheApplicationIconOnceShown() {
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        QTRY_VERIFY(window().windowIcon().availableSizes().contains(QSize(256, 256)));
        QVERIFY(!window().windowIcon().pixmap(16).isNull());
    }

    void everyControlCarriesItsNameAndTheFocusOrderIsFixed() {
        QCOMPARE(window().objectName(), QStringLiteral("KelvaneForm"));
        QVERIFY(window().findChild<QMenu*>(QStringLiteral("menuTray")) != nullptr);
        for (const design::Control& control : design::kSettingsControls) {
            QVERIFY2(window().findChild<QWidget*>(text(control.name)) != nullptr,
                     control.name.data());
        }
        QCOMPARE(row(1).path->accessibleName(), text(design::control("File1Text").accessibleName));
        QCOMPARE(row(2).tick->accessibleName(),
                 text(design::control("File2Selected").accessibleName));
        QCOMPARE(row(3).browse->accessibleName(), text(design::control("Browse3").accessibleName));
        QCOMPARE(window().interval->accessibleName(),
                 text(design::control("AutoSyncIntervalText").accessibleName));
        QCOMPARE(window().lastSync->accessibleDescription(),
                 text(design::control("LastSyncLabel").accessibleDescription));
        QCOMPARE(row(3).tick->nextInFocusChain(), row(2).tick);
        QCOMPARE(window().hideToTray->nextInFocusChain(), row(1).browse);
    }

    // A window fresh from the table, before the program fills it in.
    void everyControlIsBuiltAsTheDesignDrawsIt() {
        kelvane::qt::SettingsWindow built;
        for (const design::Control& control : design::kSettingsControls) {
            const char* name = control.name.data();
            auto* widget = built.findChild<QWidget*>(text(control.name));
            QVERIFY2(widget != nullptr, name);
            const QString frame =
                control.frame.empty() ? QStringLiteral("KelvaneForm") : text(control.frame);
            QVERIFY2(widget->parentWidget()->objectName() == frame, name);
            QVERIFY2(isOfKind(widget, control.kind), name);
            QVERIFY2(widget->y() == toPixels(control.place.top, &built), name);
            if (!captionsMovedClear().contains(text(control.name))) {
                QVERIFY2(widget->x() == toPixels(control.place.left, &built), name);
            }
            QVERIFY2(captionOf(widget, control.kind) == text(control.caption), name);
            QVERIFY2(widget->font().bold() == (control.font == design::Font::DefaultBold) ||
                         control.kind == design::Kind::Frame,
                     name);
            QVERIFY2(widget->font().pointSizeF() == designedPoints(control.font) ||
                         control.kind == design::Kind::Frame,
                     name);
            QVERIFY2(widget->accessibleName() == text(control.accessibleName), name);
            QVERIFY2(widget->accessibleDescription() == text(control.accessibleDescription), name);
            const QSize designed(toPixels(control.place.width, &built),
                                 toPixels(control.place.height, &built));
            if (control.kind == design::Kind::Button || control.kind == design::Kind::TextBox ||
                control.kind == design::Kind::Frame) {
                QVERIFY2(widget->size() == designed, name);
            } else if (control.kind == design::Kind::TickBox ||
                       control.kind == design::Kind::Badge) {
                QVERIFY2(
                    widget->width() >= designed.width() && widget->height() >= designed.height(),
                    name);
            }
        }
        const auto* filesCaption = built.findChild<QLabel*>(QStringLiteral("Frame1Caption"));
        QVERIFY(filesCaption != nullptr && filesCaption->font().bold());
        QCOMPARE(filesCaption->text(), text(design::control("Frame1").caption));
    }

    void tabFollowsTheDesignsFocusOrder() {
        std::vector<const design::Control*> focus;
        for (const design::Control& control : design::kSettingsControls) {
            if (control.kind == design::Kind::TickBox || control.kind == design::Kind::TextBox ||
                control.kind == design::Kind::Button) {
                focus.push_back(&control);
            }
        }
        std::sort(focus.begin(), focus.end(),
                  [](const auto* a, const auto* b) { return a->order < b->order; });
        for (std::size_t i = 0; i + 1 < focus.size(); ++i) {
            const auto* from = window().findChild<QWidget*>(text(focus[i]->name));
            QVERIFY2(from->nextInFocusChain()->objectName() == text(focus[i + 1]->name),
                     focus[i]->name.data());
        }
    }

    void trayMenuHoldsTheDesignsEntriesInOrder() {
        const QList<QAction*> entries = window().trayMenu->actions();
        QCOMPARE(entries.size(), static_cast<qsizetype>(design::kTrayMenu.size()));
        for (std::size_t i = 0; i < design::kTrayMenu.size(); ++i) {
            const design::MenuEntry& entry = design::kTrayMenu[i];
            const QAction* action = entries.at(static_cast<qsizetype>(i));
            QCOMPARE(action->isSeparator(), entry.name.empty());
            if (!entry.name.empty()) {
                QCOMPARE(action->objectName(), text(entry.name));
            }
            if (!entry.caption.empty()) {
                QCOMPARE(action->text(), text(entry.caption));
            }
        }
    }

    void statusLineFollowsTheUsersLocale() {
        QCOMPARE(kelvane::qt::statusDateTime(kPinnedNow,
                                             QLocale(QLocale::English, QLocale::UnitedStates))
                     .replace(QChar(0x202F), QLatin1Char(' ')),
                 QStringLiteral("3/14/2025 at 9:05:07 PM"));
        QCOMPARE(
            kelvane::qt::statusDateTime(kPinnedNow, QLocale(QLocale::German, QLocale::Germany)),
            QStringLiteral("14.03.2025 at 21:05:07"));
    }

    void syncNowCopiesOffTheWindowAndShowsTheStatusInBold() {
        put(1, "new", kNew);
        put(2, "old", kOld);
        pointSlotsAtFiles();

        QTest::mouseClick(window().syncNow, Qt::LeftButton);

        QTRY_COMPARE(window().lastSync->text(), statusFor(QStringLiteral("File2 updated ")));
        QCOMPARE(contentOf(2), std::string("new"));
        QVERIFY(window().lastSync->font().bold());
        QCOMPARE(textColour(window().lastSync), kelvane::qt::toQColor(design::kText));
        QVERIFY(dialogs->messages.isEmpty());
    }

    // The reason names paths; shown on hovering, never read as markup.
    void failedPassShowsTheRedLineAndItsReasonAsPlainText() {
        const std::string marked = folder->makeFolder("<b>b").string() + "/notes.txt";
        put(1, "new", kNew);
        kelvane::testing::writeFileAt(marked, "old", kOld);
        row(1).path->setText(file(1));
        row(2).path->setText(QString::fromStdString(marked));
        fileSystem->unsearchable.insert(marked);

        window().syncNow->click();

        QTRY_COMPARE(window().lastSync->text(),
                     QStringLiteral("Sync failed. File(s) might be open in other app."));
        QCOMPARE(textColour(window().lastSync), kelvane::qt::toQColor(design::kFailureText));
        QVERIFY(window().lastSync->font().bold());
        QTextDocument tip;
        tip.setHtml(window().lastSync->toolTip());
        QVERIFY(tip.toPlainText().contains(QString::fromStdString(marked)));
    }

    void storedTextShowsAsPlainText() {
        start("[SyncEvents]\nLastSyncEvent=<b>bold</b>\n");
        QCOMPARE(window().lastSync->text(), QStringLiteral("<b>bold</b>"));
        for (const QLabel* label : window().findChildren<QLabel*>()) {
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        }
    }

    void timerTicksRunPasses() {
        put(1, "new", kNew);
        put(2, "old", kOld);
        pointSlotsAtFiles();
        window().interval->setText(QStringLiteral("1"));
        window().autoSync->click();
        QCOMPARE(face->timer().interval(), 1000);

        QTRY_COMPARE_WITH_TIMEOUT(contentOf(2), std::string("new"), 5000);
        QTRY_COMPARE(window().lastSync->text(), statusFor(QStringLiteral("File2 updated ")));
    }

    void autoSyncPaintsTheBadgeAndLocksTheSlots() {
        window().interval->setText(QStringLiteral("5"));
        window().autoSync->click();

        QCOMPARE(window().autoSyncBadge->text(), QStringLiteral(" ON "));
        QCOMPARE(background(window().autoSyncBadge), kelvane::qt::toQColor(design::kBadgeOn));
        for (QWidget* locked :
             {static_cast<QWidget*>(row(1).tick), static_cast<QWidget*>(row(3).path),
              static_cast<QWidget*>(window().interval)}) {
            QVERIFY(!locked->isEnabled());
        }
        QVERIFY(row(1).browse->isEnabled());
        QVERIFY(window().syncNow->isEnabled());

        window().autoSync->click();
        QCOMPARE(window().autoSyncBadge->text(), QStringLiteral(" OFF "));
        QVERIFY(row(2).path->isEnabled());
    }

    void storedIntervalShowsAsStoredAndTypingStaysLimited() {
        start("[SyncSettings]\nSyncInterval=000001\nAutoSync=ON\n");
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(face->timer().interval(), 1000);
        window().autoSync->click();
        QCOMPARE(window().interval->text(), QStringLiteral("000001"));

        QTest::keyClicks(window().interval, QStringLiteral("2"));
        QCOMPARE(window().interval->text(), QStringLiteral("000001"));
        window().interval->selectAll();
        QTest::keyClicks(window().interval, QStringLiteral("1234567"));
        QCOMPARE(window().interval->text(), QStringLiteral("12345"));
    }

    void storedPlaceAndGreyTickReachTheWindow() {
        start(
            "[SelectedFiles]\nFile1_Selected=1\nFile2_Selected=0\nFile3_Selected=1.5\n"
            "[FormLocation]\nFormTop=1500\nFormLeft=3000\n");
        QVERIFY(row(1).tick->isChecked());
        QVERIFY(!row(2).tick->isChecked());
        QCOMPARE(row(3).tick->checkState(), Qt::PartiallyChecked);
        QCOMPARE(window().pos(), QPoint(kelvane::qt::toPixels(3000, &window()),
                                        kelvane::qt::toPixels(1500, &window())));
        QVERIFY(face->helpPage() == nullptr);
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
        start("[FormLocation]\nFormTop=" + std::to_string(top) +
              "\nFormLeft=" + std::to_string(left) + "\n");

        const QPoint stored(kelvane::qt::toPixels(left, &window()),
                            kelvane::qt::toPixels(top, &window()));
        const QRect primary = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window().pos() == stored, kept);
        QVERIFY(kept || primary.contains(window().frameGeometry()));
    }

    void aStoredGreyTickShowsGreyAndClicksOnlyTickOrUntick() {
        start("[SelectedFiles]\nFile1_Selected=2\n");
        QCOMPARE(row(1).tick->checkState(), Qt::PartiallyChecked);
        QList<Qt::CheckState> states;
        for (int click = 0; click < 3; ++click) {
            QTest::mouseClick(row(1).tick, Qt::LeftButton);
            states << row(1).tick->checkState();
        }
        QCOMPARE(states, (QList<Qt::CheckState>{Qt::Checked, Qt::Unchecked, Qt::Checked}));
    }

    void messageBoxesShowTheirTextAsWritten() {
        kelvane::qt::QtDialogs boxes;
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

    void browseShowsTheChosenFileInTheSystemsSpelling() {
        dialogs->filesToChoose = {file(2)};

        QTest::mouseClick(row(2).browse, Qt::LeftButton);

        QCOMPARE(row(2).path->text(), QDir::toNativeSeparators(file(2)));
        QCOMPARE(dialogs->startFolders, QStringList{QString()});
    }

    void trayClickBringsAMinimisedWindowBackAndHidesOnlyANormalOne() {
        window().showMinimized();
        emit face->trayIcon()->leftClicked();
        QVERIFY(window().isVisible() && !window().isMinimized());
        emit face->trayIcon()->leftClicked();
        QVERIFY(!window().isVisible());
    }

    void helpOpensOnceBesideTheWindow() {
        face->helpPage()->close();
        QTRY_VERIFY(face->helpPage() == nullptr);
        window().move(200, 150);

        QTest::mouseClick(window().help, Qt::LeftButton);
        kelvane::qt::HelpPage* first = face->helpPage();
        QTest::mouseClick(window().help, Qt::LeftButton);

        QCOMPARE(face->helpPage(), first);
        QCOMPARE(first->versionLabel->text(), QStringLiteral("v1.45"));
        const int offset = kelvane::qt::toPixels(400, &window());
        QCOMPARE(first->pos(), window().pos() + QPoint(offset, offset));
    }

    void closeBoxAsksAndYesSavesAndEnds() {
        QSignalSpy ended(face.get(), &kelvane::qt::QtFace::ended);
        dialogs->answerYes = true;

        QCloseEvent close;
        QSpontaneKeyEvent::setSpontaneous(&close);
        QCoreApplication::instance()->notify(&window(), &close);  // sendEvent drops the flag

        QCOMPARE(dialogs->questions,
                 QStringList{QStringLiteral("Do you really want to stop Kelvane?")});
        QCOMPARE(ended.count(), 1);
        QVERIFY(!window().isVisible());
        QVERIFY(face->helpPage() == nullptr);
        QVERIFY(kelvane::testing::readFile(ini()).find("LastSyncEvent=NIL") != std::string::npos);
    }

    void trayMenuEntriesReachTheProgram() {
        window().hide();
        window().showSettingsEntry->trigger();
        QVERIFY(window().isVisible());

        QSignalSpy ended(face.get(), &kelvane::qt::QtFace::ended);
        window().exitEntry->trigger();
        QVERIFY(dialogs->questions.isEmpty());
        QCOMPARE(ended.count(), 1);
    }

    void sessionStartEntrySitsAfterShowHelpIsTickedAsTheSystemSaysAndReachesTheProgram() {
        QAction* entry = window().sessionStartEntry;
        const QList<QAction*> entries = window().trayMenu->actions();
        QCOMPARE(entries.indexOf(entry), 2);
        QCOMPARE(entries.at(1), window().showHelpEntry);
        QCOMPARE(entries.at(3)->objectName(), QStringLiteral("menuSpace1"));
        QCOMPARE(entry->objectName(), QStringLiteral("menuStartWithSession"));
        QCOMPARE(entry->text(), QStringLiteral("Start Kelvane when I log in"));
        QVERIFY(entry->isVisible());
        QVERIFY(entry->isCheckable());
        QVERIFY(!entry->isChecked());

        sessionStart->enabled = true;  // switched on in the desktop's own settings
        window().trayMenu->popup(QPoint(10, 10));
        QVERIFY(entry->isChecked());
        window().trayMenu->hide();

        entry->trigger();
        QVERIFY(!sessionStart->enabled);
        QVERIFY(!entry->isChecked());

        sessionStart->changeFailure = "Permission denied: /home/ann/.config/autostart";
        entry->trigger();
        QCOMPARE(dialogs->warnings.size(), 1);
        QVERIFY(dialogs->warnings.at(0).endsWith(
            QStringLiteral("\n\nPermission denied: /home/ann/.config/autostart")));
        QVERIFY(!entry->isChecked());
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
    SettingsWindowTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "SettingsWindowTest.moc"
