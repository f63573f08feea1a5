<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>QObject</name>
    <message>
        <source>K0008_Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>K3516_StopDownload</source>
        <translation>Stop download</translation>
    </message>
    <message>
        <source>K3558_ShowInFolder</source>
        <translation>Show in folder</translation>
    </message>
    <message>
        <source>K5326_QuickTop</source>
        <translation>Download next</translation>
    </message>
    <message>
        <source>K6498_ClearAll</source>
        <translation>Clear all</translation>
    </message>
    <message>
        <source>K3557_Waiting</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>K3556_TotalFileSize</source>
        <translation>total</translation>
    </message>
    <message>
        <source>K3555_FileSizeLeft</source>
        <translation>left</translation>
    </message>
    <message>
        <source>K3584_Hours</source>
        <translation>hours</translation>
    </message>
    <message>
        <source>K3552_Hour</source>
        <translation>hour</translation>
    </message>
    <message>
        <source>K3583_Minutes</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>K3553_Minute</source>
        <translation>minute</translation>
    </message>
    <message>
        <source>K3582_Seconds</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>K3554_Second</source>
        <translation>second</translation>
    </message>
    <message>
        <source>K3515_NoTask</source>
        <translation>No downloads</translation>
    </message>
    <message>
        <source>K3581_PlayBackDownload</source>
        <translation>Record downloads</translation>
    </message>
    <message>
        <source>K4712_Success</source>
        <translation>Success</translation>
    </message>
    <message>
        <source>K4711_Fail</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>K3588_StopDownloadSuccess</source>
        <translation>The download was stopped.</translation>
    </message>
    <message>
        <source>K3589_StopDownloadFail</source>
        <translation>The download could not be stopped.</translation>
    </message>
    <message>
        <source>K3522_MsgDownloadFileErr</source>
        <translation>The record could not be downloaded.</translation>
    </message>
    <message>
        <source>K7931_DownloadDiskFull</source>
        <translation>The disk is full: the download was not saved.</translation>
    </message>
    <message>
        <source>K0069_strDownLoad</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>K3539_Cut</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>K2051_RecPath</source>
        <translation>Save to</translation>
    </message>
    <message>
        <source>K3524_FileFormat</source>
        <translation>File format</translation>
    </message>
    <message>
        <source>K2350_Save</source>
        <translation>Save</translation>
    </message>
</context>
<context>
    <name>DownLoadDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Downloads</translation>
    </message>
</context>
<context>
    <name>DownLoadItemWidget</name>
    <message>
        <source>Form</source>
        <translation>Download</translation>
    </message>
</context>
<context>
    <name>RecordClipDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Clip</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
</context>
<context>
    <name>RecordServerPlayback</name>
    <message>
        <source>Dialog</source>
        <translation>Playback</translation>
    </message>
</context>
</TS>
