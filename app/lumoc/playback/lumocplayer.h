// The frameless modal dialog in which the recording console plays record files: it hosts one
// PlayerWidget as its whole content and takes the widget's title when playing starts.
#pragma once

#include "VantelInfraAPI/frameless.h"

class CLumoFileDesc;
class CLumoFileDescList;
class IVantelData;
class PlayerWidget;

class LumoCPlayer : public INFRA::FrameLessDialog {
    Q_OBJECT
public:
    explicit LumoCPlayer(QWidget* parent = nullptr);
    ~LumoCPlayer() override;

    // Forwarded to the hosted widget.
    int Play();
    int AddFile(CLumoFileDesc* desc);
    int SetFileList(CLumoFileDescList* list);
    int SetFileInfo(IVantelData* row);
    void SetTitle(const QString& title);
    PlayerWidget* GetPlayerWidget() const { return widget; }

public slots:
    void OnStart();
    void OnSigFullScreen(bool full);

private:
    PlayerWidget* widget;  // a Qt child of the dialog
};
