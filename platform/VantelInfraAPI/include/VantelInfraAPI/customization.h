// INFRA::Customization: the suite's names, colours and font in one place.
#pragma once

#include <QColor>
#include <QFont>
#include <QMap>
#include <QString>

namespace INFRA {

class Customization {
public:
    // Stems of the shared-memory command channels ("<stem>ShareMem").
    static QString GetRecorderServerLnkName();
    static QString GetEventServerLnkName();
    // Executable base names of the hosts.
    static QString GetRecorderServerName();
    static QString GetEventServerName();
    // Colour key (as written between number signs in the style sheets) to colour, in key order.
    static QMap<QString, QColor> GetUxColor();
    // The application font.
    static QFont GetFont();
};

}  // namespace INFRA
