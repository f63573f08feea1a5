// Automation of the player for end-to-end runs. When VANTEL_PLAYER_CONTROL=<name> is set, the
// window listens on a local socket of that name and takes one command per line, answering each
// with one line ("ok", "error <code>", or the data asked for). The commands call the same
// operations the window's buttons and menus call:
//
//   open <view> <path-or-url>   select the view, then add and play the file or stream URL
//   select <view>               make the view the selected one
//   pause | resume | step | faster | slower | stop     on the selected view
//   seek <seconds>              seek the selected view to that offset in its file
//   snapshot                    picture of the selected view -> "ok <saved path>"
//   volume <0-100> | mute <0|1>
//   split <1|4|9|16>
//   state <view>                {"open":b,"ended":b,"paused":b,"speed":n,"time":n,"file":"..."}
//                               (time: seconds since the file's start, -1 when unknown)
//   stats <view>                the view's player counters: {"decoded":n,"presented":n,
//                               "painted":n,"dropped":n,"skipped":n,"decoderThreads":n}
//   list                        the list's URLs, separated by tabs
//   marks                       per row, the views it plays on (bit v for view v), blank-separated
//   pending                     the number of intakes still being probed
//   language <display name>     switch the language as its menu entry does
//   locate <seconds>            the selected view's "locate by seconds" (clamped to the file)
//   locatetime <hh:mm:ss>       the selected view's "locate by time", on its file's start day
//   aspect <view> <fill|original|4:3|16:9>   the view's aspect entry
//   info <view>                 the file-information dialog's texts: {"<label>":"<text>",...}
//   url <url>                   a stream URL as the URL dialog hands it over: added and played
//   cut [seconds]               presses the cut button (after moving the slider there): the
//                               first press marks, the second opens the clip dialog
//   cutmark                     the selected view's cut mark as text, or "none"
//   lastcut                     the last clip result shown: {"result":n,"source":"...","output":"..."}
//   modal                       the class of the open modal dialog, or "none"
//   accept | reject             presses Ok / Cancel of the open modal dialog
//   menu add|basic|list <key>   triggers the menu entry named by its key
//   menu view <view> <key>      the same on a view's menu
//   play <row>                  plays the list's row in the selected view
//   disks                       the recorder disks the disk-file dialog lists (tab-separated), or
//                               "busy" while it scans
//   disksearch <yyyy-MM-dd> <hh:mm:ss> <yyyy-MM-dd> <hh:mm:ss> <all|n,n,...>
//                               fills the disk-file dialog's range and channels and presses Ok
//   widget <objectName>         a widget of the open modal dialog, else of the window (the window
//                               itself by its own name): {"x","y","w","h" (on the screen),
//                               "visible","enabled","toolTip","active" (its window has the
//                               keyboard),"focus" (it has the keyboard)}, with "checked" for a button and
//                               "value","minimum","maximum","down" (held) and "handle"
//                               ({"x","y","w","h"} on the screen) for a slider
//   quit                        closes the window as its close button does
//
// Unset, nothing listens.
#pragma once

#include <QObject>
#include <QPointer>

class MainWindow;
class QLocalServer;
class QLocalSocket;

class PlayerControlSeam : public QObject {
    Q_OBJECT
public:
    // Listens when the environment asks for it; null otherwise.
    static PlayerControlSeam* StartIfAsked(MainWindow* window);

    PlayerControlSeam(MainWindow* window, const QString& name);
    bool IsListening() const;
    // One command line to its answer.
    QString Execute(const QString& line);

private:
    void OnConnection();
    void OnReadable(QLocalSocket* socket);

    QPointer<MainWindow> m_window;
    QLocalServer* m_server;
};
