#include "kestopagesargs.h"

#include <QCommandLineParser>
#include <QUrl>

KestoPagesArgs ParseKestoPagesArgs(const QStringList& arguments) {
    KestoPagesArgs out;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Opens the client settings dialog or a recorder's page."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption settings(QStringLiteral("settings"),
                                      QStringLiteral("Opens the client settings dialog."));
    const QCommandLineOption preview(
        QStringLiteral("preview"), QStringLiteral("Opens the settings dialog with the playback page alone."));
    const QCommandLineOption recorder(
        QStringLiteral("recorder"), QStringLiteral("Opens the record-server page of the recorder at <url>."),
        QStringLiteral("url"));
    const QCommandLineOption page(QStringLiteral("page"),
                                  QStringLiteral("Shows settings page <row> (0 to 6) first."),
                                  QStringLiteral("row"));
    const QCommandLineOption language(QStringLiteral("language"),
                                      QStringLiteral("Uses language <key> (English, Chinese)."),
                                      QStringLiteral("key"));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Uses the client settings file <ini> instead of the user's."), QStringLiteral("ini"));
    parser.addOptions({help, settings, preview, recorder, page, language, config});
    out.usage = parser.helpText();

    if (!parser.parse(arguments)) {
        out.error = parser.errorText();
        return out;
    }
    if (parser.isSet(help)) {
        out.mode = KestoPagesArgs::Help;
        return out;
    }
    if (!parser.positionalArguments().isEmpty()) {
        out.error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return out;
    }
    const int modes = int(parser.isSet(settings)) + int(parser.isSet(preview)) + int(parser.isSet(recorder));
    if (modes != 1) {
        out.error = modes == 0
                        ? QStringLiteral("Nothing to open: give --settings, --preview or --recorder <url>.")
                        : QStringLiteral("Give only one of --settings, --preview and --recorder.");
        return out;
    }
    if (parser.isSet(page)) {
        bool ok = false;
        const int row = parser.value(page).toInt(&ok);
        if (!ok || row < 0 || row > 6) {
            out.error = QStringLiteral("--page takes a row from 0 to 6, not \"%1\".").arg(parser.value(page));
            return out;
        }
        if (!parser.isSet(settings)) {
            out.error = QStringLiteral("--page goes with --settings.");
            return out;
        }
        out.page = row;
    }
    out.language = parser.value(language);
    out.configFile = parser.value(config);
    if (parser.isSet(recorder)) {
        const QString url = parser.value(recorder);
        const QUrl parsed(url, QUrl::StrictMode);
        if (url.isEmpty() || !parsed.isValid() || parsed.scheme().isEmpty() || parsed.host().isEmpty()) {
            out.error =
                QStringLiteral("--recorder takes a recorder URL such as http://host:port, not \"%1\".")
                    .arg(url);
            return out;
        }
        out.recorder = url;
        out.mode = KestoPagesArgs::Recorder;
        return out;
    }
    out.mode = parser.isSet(settings) ? KestoPagesArgs::Settings : KestoPagesArgs::Preview;
    return out;
}
