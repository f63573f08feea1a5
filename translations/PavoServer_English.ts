<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en">
<context>
    <name>QObject</name>
    <message>
        <source>K5030_BoundServer</source>
        <translation>Bound server</translation>
    </message>
    <message>
        <source>K5031_MaxDevNum</source>
        <translation>Maximum devices</translation>
    </message>
    <message>
        <source>K5032_MaxPicDay</source>
        <translation>Days pictures are kept</translation>
    </message>
    <message>
        <source>K5033_MaxEvtDay</source>
        <translation>Maximum event records</translation>
    </message>
    <message>
        <source>K5034_PathDBS</source>
        <translation>Database folder</translation>
    </message>
    <message>
        <source>K2054_PicPath</source>
        <translation>Picture folder</translation>
    </message>
    <message>
        <source>K2350_Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>K5028_PavoStart</source>
        <translation>The event server has started.</translation>
    </message>
    <message>
        <source>K6945_ExitEventServer</source>
        <translation>Stop the event server and exit?</translation>
    </message>
    <message>
        <source>K0400_DeviceName</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>K4552_HvIP</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>K0402_DeviceType</source>
        <translation>Device type</translation>
    </message>
    <message>
        <source>K0407_OnlineStat</source>
        <translation>Online state</translation>
    </message>
    <message>
        <source>K0503_DevTypeIPC</source>
        <translation>IP camera</translation>
    </message>
    <message>
        <source>K0504_DevTypeNVR</source>
        <translation>NVR</translation>
    </message>
    <message>
        <source>K0505_DevTypeUVR</source>
        <translation>UVR</translation>
    </message>
    <message>
        <source>K0506_DevTypeKesto</source>
        <translation>Recording server</translation>
    </message>
    <message>
        <source>K0506_DevTypePavo</source>
        <translation>Event server</translation>
    </message>
    <message>
        <source>K0508_DevTypeUNK</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>K0475_Online</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>K0429_Offline</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>K2356_Fail</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>K5344_MaxDevsLessthanConnect</source>
        <translation>The maximum number of devices is less than the number of devices connected.</translation>
    </message>
    <message>
        <source>K4602_LbTitle</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>K5341_EventServerReset</source>
        <translation>Saving restarts the event server with the new settings; the devices connected now are disconnected. Continue?</translation>
    </message>
    <message>
        <source>K2056_SelectFilePath</source>
        <translation>Select folder</translation>
    </message>
    <message>
        <source>PV001_MaxDevNumRange</source>
        <translation>The maximum number of devices must be a whole number from 0 to 65535.</translation>
    </message>
    <message>
        <source>PV002_MaxPicDayRange</source>
        <translation>The days pictures are kept must be a whole number from 0 to 65535.</translation>
    </message>
    <message>
        <source>PV003_PavoFail</source>
        <translation>The event server could not start. Check its port and folders.</translation>
    </message>
</context>
<context>
    <name>PavoApplication</name>
    <message>
        <source>K5019_EventServer</source>
        <translation>Event Server</translation>
    </message>
    <message>
        <source>K0072_Str_MinWindow</source>
        <translation>Minimize to the tray</translation>
    </message>
    <message>
        <source>K0071_strMaximize</source>
        <translation>Maximize</translation>
    </message>
    <message>
        <source>K3769_PgConfig</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>K4550_PgMaintain</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>K3776_LbIP</source>
        <translation>Server address</translation>
    </message>
    <message>
        <source>K3772_LbPortNum</source>
        <translation>Service port</translation>
    </message>
    <message>
        <source>K3773_BtnEditPort</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>K3770_LbSecurity</source>
        <translation>Security file</translation>
    </message>
    <message>
        <source>K3771_Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>K5030_BoundServer</source>
        <translation>Bound server</translation>
    </message>
    <message>
        <source>K5031_MaxDevNum</source>
        <translation>Maximum devices</translation>
    </message>
    <message>
        <source>K5032_MaxPicDay</source>
        <translation>Days pictures are kept</translation>
    </message>
    <message>
        <source>K5033_MaxEvtDay</source>
        <translation>Maximum event records</translation>
    </message>
    <message>
        <source>K5034_PathDBS</source>
        <translation>Database folder</translation>
    </message>
    <message>
        <source>K2054_PicPath</source>
        <translation>Picture folder</translation>
    </message>
    <message>
        <source>K2350_Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>K0414_Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>K3775_LbAutoRunWithSys</source>
        <translation>Start with the system</translation>
    </message>
    <message>
        <source>K3747_RunTime</source>
        <translation>Running time</translation>
    </message>
    <message>
        <source>K0403_IPAddress</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>K0405_PortNum</source>
        <translation>Port</translation>
    </message>
</context>
</TS>
