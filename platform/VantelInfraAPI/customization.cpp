#include "VantelInfraAPI/customization.h"

#include <QStringList>

namespace INFRA {

QString Customization::GetRecorderServerLnkName() {
    return QStringLiteral("KestoServer");
}
QString Customization::GetEventServerLnkName() {
    return QStringLiteral("PavoServer");
}
QString Customization::GetRecorderServerName() {
    return QStringLiteral("KestoServer");
}
QString Customization::GetEventServerName() {
    return QStringLiteral("PavoServer");
}

QMap<QString, QColor> Customization::GetUxColor() {
    QMap<QString, QColor> c;
    c.insert(QStringLiteral("MainColor"), QColor(0x1f, 0x6f, 0xb2));       // accents, selection
    c.insert(QStringLiteral("MainHoverColor"), QColor(0x3a, 0x8b, 0xd0));  // hovered accents
    c.insert(QStringLiteral("MainPressColor"), QColor(0x17, 0x56, 0x8c));  // pressed accents
    c.insert(QStringLiteral("TitleColor"), QColor(0x23, 0x2a, 0x34));      // title and status bars
    c.insert(QStringLiteral("TitleTextColor"), QColor(0xf2, 0xf4, 0xf7));
    c.insert(QStringLiteral("BackgroundColor"), QColor(0xf4, 0xf6, 0xf9));  // pages
    c.insert(QStringLiteral("PanelColor"), QColor(0xff, 0xff, 0xff));       // tables, inputs
    c.insert(QStringLiteral("NavColor"), QColor(0x2e, 0x36, 0x42));         // navigation list
    c.insert(QStringLiteral("NavTextColor"), QColor(0xd5, 0xdb, 0xe3));
    c.insert(QStringLiteral("TextColor"), QColor(0x26, 0x2b, 0x33));
    c.insert(QStringLiteral("SubTextColor"), QColor(0x6b, 0x74, 0x80));
    c.insert(QStringLiteral("BorderColor"), QColor(0xc9, 0xd0, 0xd9));
    c.insert(QStringLiteral("AlternateColor"), QColor(0xee, 0xf2, 0xf7));  // alternate table rows
    c.insert(QStringLiteral("DisabledColor"), QColor(0xa9, 0xb0, 0xba));
    c.insert(QStringLiteral("ErrorColor"), QColor(0xc6, 0x28, 0x28));
    c.insert(QStringLiteral("OkColor"), QColor(0x2e, 0x7d, 0x32));
    return c;
}

QFont Customization::GetFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    // Chinese texts need a font with CJK glyphs; the list is tried in order.
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback"),
                      QStringLiteral("Sans Serif")});
    font.setPixelSize(13);
    return font;
}

}  // namespace INFRA
