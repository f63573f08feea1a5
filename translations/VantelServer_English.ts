<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>QObject</name>
    <message>
        <source>K4513_Set</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>K4514_Logout</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>K4515_LogoutInfo</source>
        <translation>Stop the management service and exit?</translation>
    </message>
    <message>
        <source>K4504_VantelServerSuccess</source>
        <translation>The management service has started.</translation>
    </message>
    <message>
        <source>K4506_VantelServerFail</source>
        <translation>The management service could not start.</translation>
    </message>
    <message>
        <source>K4507_Close</source>
        <translation>Closed</translation>
    </message>
    <message>
        <source>K4508_VantelServerStop</source>
        <translation>The management service has stopped.</translation>
    </message>
    <message>
        <source>K4524_LbWhetherStopServer</source>
        <translation>Stop the management service?</translation>
    </message>
    <message>
        <source>K4589_PortRange</source>
        <translation>The port must be a number from 80 to 65535.</translation>
    </message>
    <message>
        <source>K4590_SaveFailed</source>
        <translation>The settings could not be saved.</translation>
    </message>
    <message>
        <source>K4591_PathTooLong</source>
        <translation>The chosen path is too long. Choose a shorter one.</translation>
    </message>
    <message>
        <source>K4592_ExportFailed</source>
        <translation>The file could not be written.</translation>
    </message>
    <message>
        <source>K4593_ExportDone</source>
        <translation>The file has been written.</translation>
    </message>
</context>
<context>
    <name>VantelServer</name>
    <message>
        <source>Vantel Server</source>
        <translation>Vantel Server</translation>
    </message>
    <message>
        <source>K4502_LbTitle</source>
        <translation>Management Server</translation>
    </message>
    <message>
        <source>K4520_PgConfig</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>K4550_PgMaintain</source>
        <translation>Maintenance</translation>
    </message>
    <message>
        <source>K4580_PgLog</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>K8596_ServersList</source>
        <translation>Server List</translation>
    </message>
    <message>
        <source>K4521_LbServer</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>K4522_BtnStopServer</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>K4523_BtnStartServer</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>K4525_LbCetification</source>
        <translation>Certificate</translation>
    </message>
    <message>
        <source>K4526_BtnExportCetification</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>K4527_LbPortNum</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>K4528_BtnEditPort</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>K4529_BtnSavePort</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>K4530_BtnCanclePort</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>K4535_LbAutoRunWithSys</source>
        <translation>Start with the system</translation>
    </message>
    <message>
        <source>K4551_TbClient</source>
        <translation>Clients</translation>
    </message>
    <message>
        <source>K4560_TbResource</source>
        <translation>Resources</translation>
    </message>
    <message>
        <source>K4570_BtnExport</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>K4581_BtnRefresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>K4582_BtnExport</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>K0414_Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>K4510_LbTime</source>
        <translation>Run time</translation>
    </message>
    <message>
        <source>K4511_LbIP</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>K0403_IPAddress</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>K4512_LbPort</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>K0072_Str_MinWindow</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>K4552_HvIP</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>K4553_HvAccount</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>K4554_HvLogTime</source>
        <translation>Login time</translation>
    </message>
    <message>
        <source>K4561_HvResource</source>
        <translation>Resource</translation>
    </message>
    <message>
        <source>K4562_HvUsed</source>
        <translation>Used</translation>
    </message>
    <message>
        <source>K4563_HvTotalResource</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>K6208_Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>K0474_Operattion</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>K8597_Running</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>K8598_NotRunning</source>
        <translation>Not running</translation>
    </message>
    <message>
        <source>K7019_Open</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>K4595_StopHostTitle</source>
        <translation>Stop server</translation>
    </message>
    <message>
        <source>K4596_StopRecorderQuestion</source>
        <translation>Stop %1? Its recording ends.</translation>
    </message>
    <message>
        <source>K4597_StopEventQuestion</source>
        <translation>Stop %1? Events are no longer received.</translation>
    </message>
</context>
</TS>
