#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

// Each unit test process runs offscreen with a home of its own, so nothing reads or writes
// the real user's folders or display.
int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/quorvastelin-unit-XXXXXX"));
    qputenv("HOME", home.path().toUtf8());
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                             "XDG_DOCUMENTS_DIR", "XDG_RUNTIME_DIR"}) {
        qunsetenv(name);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
