// Asks for a number of seconds from the start of the file playing in a view, from 0 to the
// file's length; the caller seeks there when the dialog ends with 1.
#pragma once

#include "player/dialogs/playerdialog.h"

class QIntValidator;

namespace Ui {
class LocateByTimeStamp;
}

class LocateByTimeStamp : public PlayerDialog {
    Q_OBJECT
public:
    explicit LocateByTimeStamp(QWidget* parent = nullptr);
    ~LocateByTimeStamp() override;

    // The largest number of seconds accepted (inclusive); a length beyond what an int holds
    // is taken as the largest int.
    void SetMax(quint64 max);
    // The seconds entered; 0 for an empty field (the file's start).
    void GetSeconds(int& seconds) const;

    // Ok ends with 1 when the field is empty or within 0 to the maximum, else tells so and
    // stays; Cancel ends with 0.
    void on_buttonBox_clicked(QAbstractButton* button);
    void on_btnClose_clicked();

protected:
    void Retranslate() override;

private:
    Ui::LocateByTimeStamp* ui;
    int m_max = 0;  // inclusive upper bound of the seconds
    QIntValidator* m_validator;  // owned by the line edit
};
