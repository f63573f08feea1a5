<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>QObject</name>
    <message>
        <source>K3737_RecordServer</source>
        <translation>录像服务器</translation>
    </message>
    <message>
        <source>K3587_JoinDownloadQueueSuccess</source>
        <translation>已加入下载队列。</translation>
    </message>
    <message>
        <source>K7950_ReasonAccessDenied</source>
        <translation>录像服务器拒绝访问：%1</translation>
    </message>
    <message>
        <source>K7951_ReasonUnreachable</source>
        <translation>无法连接录像服务器：%1</translation>
    </message>
    <message>
        <source>K7952_NoRecorder</source>
        <translation>此页面未绑定录像服务器。</translation>
    </message>
    <message>
        <source>K7953_ResultCode</source>
        <translation>结果码 %1。</translation>
    </message>
    <message>
        <source>K7954_DownloadFolderFail</source>
        <translation>无法创建文件夹 %1。</translation>
    </message>
</context>
</TS>
