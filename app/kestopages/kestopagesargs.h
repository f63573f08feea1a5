// The command line of KestoPages: which page to open and with which language and settings file.
#pragma once

#include <QString>
#include <QStringList>

struct KestoPagesArgs {
    enum Mode {
        Invalid,   // `error` says why
        Help,      // print `usage`
        Settings,  // the client settings dialog
        Preview,   // the settings dialog with the playback page alone
        Recorder,  // the record-server page of the recorder at `recorder`
    };
    Mode mode = Invalid;
    QString recorder;    // the recorder's URL (Recorder)
    int page = -1;       // the settings row to show first (-1: the first)
    QString language;    // a language key ("English", "Chinese"); empty: the saved one
    QString configFile;  // another client settings file; empty: the user's
    QString error;       // why the line was refused (Invalid)
    QString usage;       // the help text
};

// Reads the arguments (the program name first, as in argv).
KestoPagesArgs ParseKestoPagesArgs(const QStringList& arguments);
