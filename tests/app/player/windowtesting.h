// The frame of the main-window tests: a private home (HOME and the XDG folders) set before the
// application, and so the player's context, exists.
#pragma once

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

template <class Test>
int RunWindowTest(int argc, char** argv, QTemporaryDir** homeOut) {
    QTemporaryDir home;
    *homeOut = &home;
    for (const char* d : {"home", "config", "data", "runtime"}) QDir().mkpath(home.filePath(d));
    qputenv("HOME", home.filePath("home").toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    // Boxes wait for the answers the tests script, not for one the caller's environment gives.
    qunsetenv("VANTEL_UI_REPLY");
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}
