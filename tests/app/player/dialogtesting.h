// What the tests of the player's dialogs share: a translator that shows each retranslation, the
// standard buttons of a dialog, the program's own languages and the texts a dialog shows.
#pragma once

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>

#include <memory>

#include "player/playercontext.h"

// Marks every text it translates ("context:source"), so a retranslation shows.
class MarkingTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char* = nullptr, int = -1) const override {
        return QStringLiteral("%1:%2").arg(QLatin1String(context), QLatin1String(source));
    }
    bool isEmpty() const override { return false; }
};

inline QPushButton* StandardButton(QWidget* dialog, QDialogButtonBox::StandardButton which) {
    return dialog->findChild<QDialogButtonBox*>("buttonBox")->button(which);
}

// Installs the built program's language of this menu index (0 English, 1 Chinese) from
// $VANTEL_BIN_DIR/data/language; false when the program's folder is not known.
inline bool LoadShippedLanguage(int index) {
    static QTemporaryDir userDir;
    static std::unique_ptr<CPlayerContext> context;
    const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
    if (bin.isEmpty()) return false;
    if (!context) {
        context = std::make_unique<CPlayerContext>(bin, userDir.filePath("config"), userDir.filePath("data"));
        context->LoadConfig();
    }
    return context->LoadLanguage(context->languageNames.value(index));
}

// The texts a dialog shows: its labels, buttons, tabs and table headers (empty ones left out).
inline QStringList ShownTexts(QWidget* dialog) {
    QStringList texts;
    for (auto* label : dialog->findChildren<QLabel*>()) texts << label->text();
    for (auto* button : dialog->findChildren<QAbstractButton*>()) texts << button->text();
    for (auto* tabs : dialog->findChildren<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
    for (auto* table : dialog->findChildren<QTableWidget*>())
        for (int i = 0; i < table->columnCount(); ++i)
            if (table->horizontalHeaderItem(i)) texts << table->horizontalHeaderItem(i)->text();
    texts.removeAll(QString());
    return texts;
}

// The first shown text that is an untranslated key ("snap_set") or a form's placeholder.
inline QString FirstUntranslated(QWidget* dialog) {
    static const QRegularExpression kKey(QStringLiteral("^[a-z]+(_[a-zA-Z]+)*$"));
    static const QStringList kPlaceholders = {"TextLabel", "PushButton", "Tab 1", "Tab 2", "RadioButton", "CheckBox"};
    for (const QString& text : ShownTexts(dialog))
        if (kKey.match(text).hasMatch() || kPlaceholders.contains(text)) return text;
    return QString();
}
