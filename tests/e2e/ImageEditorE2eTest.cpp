#include "tests/support/E2eSupport.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>

// Alone on a laptop's 1366 × 768 screen with no tray: the editor fits the screen, and the
// window's own Thoát ends the program and the mapping.
TEST(ImageEditorE2e, OnALaptopScreenTheEditorFitsAndWithoutATrayTheWindowQuits) {
    XServer laptop(1366, 768);
    ASSERT_TRUE(laptop.started());
    const auto restore =
        qScopeGuard([display = qgetenv("DISPLAY")] { qputenv("DISPLAY", display); });
    qputenv("DISPLAY", laptop.display().toUtf8());
    e2e::SessionBus bus;
    const e2e::ProgramView view(bus);
    QTemporaryDir home;
    e2e::Program program(home.path(), bus.environment());
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(e2e::waitUntil([&] { return e2e::windowsModeOn() && view.click("Chụp vùng"); }));
    // A drag before the overlay holds the pointer goes to the desktop; the user drags again.
    std::optional<e2e::Accessible> save;
    ASSERT_TRUE(e2e::repeatUntil(
        [] {
            e2e::drag({200, 150}, {600, 350});
        },
        [&] { return (save = view.shown("push button", "Lưu & sao chép")).has_value(); }));
    EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(save->extents)) << view.dump();
    ASSERT_TRUE(view.click("Lưu & sao chép"));
    const QDir folder(program.capturesFolder("Screenshots"));
    ASSERT_TRUE(e2e::waitUntil([&] { return folder.entryList(QDir::Files).size() == 1; }));
    EXPECT_EQ(QImage(folder.filePath(folder.entryList(QDir::Files)[0])).size(), QSize(400, 200));
    ASSERT_TRUE(e2e::waitUntil([&] { return view.click("Thoát"); })) << view.dump();
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_FALSE(e2e::windowsModeOn());
}
