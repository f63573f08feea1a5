<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en">
<context>
    <name>QObject</name>
    <message>
        <source>K3737_RecordServer</source>
        <translation>Record server</translation>
    </message>
    <message>
        <source>K3587_JoinDownloadQueueSuccess</source>
        <translation>Added to the download queue.</translation>
    </message>
    <message>
        <source>K7950_ReasonAccessDenied</source>
        <translation>The recorder refused access: %1</translation>
    </message>
    <message>
        <source>K7951_ReasonUnreachable</source>
        <translation>The recorder cannot be reached: %1</translation>
    </message>
    <message>
        <source>K7952_NoRecorder</source>
        <translation>No recorder is bound to this page.</translation>
    </message>
    <message>
        <source>K7953_ResultCode</source>
        <translation>Result code %1.</translation>
    </message>
    <message>
        <source>K7954_DownloadFolderFail</source>
        <translation>The folder %1 cannot be created.</translation>
    </message>
</context>
</TS>
