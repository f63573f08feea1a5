<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en">
<context>
    <name>SysConfig</name>
    <message>
        <source>K2002_Base</source>
        <translation>General</translation>
    </message>
    <message>
        <source>K2003_LogSaveTime</source>
        <translation>Keep logs for</translation>
    </message>
    <message>
        <source>K2004_OneDay</source>
        <translation>One day</translation>
    </message>
    <message>
        <source>K2005_OneWeek</source>
        <translation>One week</translation>
    </message>
    <message>
        <source>K2006_HalfMonth</source>
        <translation>Half a month</translation>
    </message>
    <message>
        <source>K2007_OneMonth</source>
        <translation>One month</translation>
    </message>
    <message>
        <source>K2008_TwoMonth</source>
        <translation>Two months</translation>
    </message>
    <message>
        <source>K2009_ThreeMonth</source>
        <translation>Three months</translation>
    </message>
    <message>
        <source>K2010_SixMonth</source>
        <translation>Six months</translation>
    </message>
    <message>
        <source>K2015_StartWithLastState</source>
        <translation>Start with the last state</translation>
    </message>
    <message>
        <source>K2016_AutoRunWhenBoot</source>
        <translation>Start with the system</translation>
    </message>
    <message>
        <source>K2017_AutoFullScreen</source>
        <translation>Full screen at start</translation>
    </message>
    <message>
        <source>K2050_FileSave</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>K2051_RecPath</source>
        <translation>Record folder</translation>
    </message>
    <message>
        <source>K2052_RecordRule</source>
        <translation>Record naming rule</translation>
    </message>
    <message>
        <source>K2053_RecordPacketType</source>
        <translation>Record file format</translation>
    </message>
    <message>
        <source>K2054_PicPath</source>
        <translation>Picture folder</translation>
    </message>
    <message>
        <source>K2055_PictureRule</source>
        <translation>Picture naming rule</translation>
    </message>
    <message>
        <source>K2101_CapturePicFormat</source>
        <translation>Snapshot format</translation>
    </message>
    <message>
        <source>K2102_JPEG</source>
        <translation>JPEG</translation>
    </message>
    <message>
        <source>K2104_BMP</source>
        <translation>BMP</translation>
    </message>
    <message>
        <source>K2110_MergeRate</source>
        <translation>Merge rate</translation>
    </message>
    <message>
        <source>K2111_MergeNIL</source>
        <translation>Do not merge</translation>
    </message>
    <message>
        <source>K2112_MergeFirst</source>
        <translation>Merge first</translation>
    </message>
    <message>
        <source>K2113_MergeLast</source>
        <translation>Merge last</translation>
    </message>
    <message>
        <source>K2120_VSearchLocation</source>
        <translation>Search records on</translation>
    </message>
    <message>
        <source>K2121_VCLOUD</source>
        <translation>Cloud</translation>
    </message>
    <message>
        <source>K2122_VKesto</source>
        <translation>Recording server</translation>
    </message>
    <message>
        <source>K2130_PriorPlay</source>
        <translation>Play before the event</translation>
    </message>
    <message>
        <source>K2131_OneSecond</source>
        <translation>1 second</translation>
    </message>
    <message>
        <source>K2132_FiveSeconds</source>
        <translation>5 seconds</translation>
    </message>
    <message>
        <source>K2133_TenSeconds</source>
        <translation>10 seconds</translation>
    </message>
    <message>
        <source>K2134_HalfMinute</source>
        <translation>30 seconds</translation>
    </message>
    <message>
        <source>K2135_OneMinite</source>
        <translation>1 minute</translation>
    </message>
    <message>
        <source>K2136_NintySeconds</source>
        <translation>90 seconds</translation>
    </message>
    <message>
        <source>K2137_HalfHour</source>
        <translation>30 minutes</translation>
    </message>
    <message>
        <source>K2138_OneHour</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>K2140_KestoPriority</source>
        <translation>Recording server first</translation>
    </message>
    <message>
        <source>K2141_OffPreview</source>
        <translation>Close the preview</translation>
    </message>
    <message>
        <source>K2142_SmartRecord</source>
        <translation>Smart record playback</translation>
    </message>
    <message>
        <source>K2151_DisplayScale</source>
        <translation>Display scale</translation>
    </message>
    <message>
        <source>K2152_Scale169</source>
        <translation>16:9</translation>
    </message>
    <message>
        <source>K2153_Scale43</source>
        <translation>4:3</translation>
    </message>
    <message>
        <source>K2154_Scale11</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>K2160_Quality</source>
        <translation>Playback quality</translation>
    </message>
    <message>
        <source>K2161_Vsmooth</source>
        <translation>Smooth</translation>
    </message>
    <message>
        <source>K2162_Vclear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>K2163_VHD</source>
        <translation>High definition</translation>
    </message>
    <message>
        <source>K2165_Frame</source>
        <translation>fps</translation>
    </message>
    <message>
        <source>K2171_HardDecoder</source>
        <translation>Hardware decoding</translation>
    </message>
    <message>
        <source>K2172_SmartReg</source>
        <translation>Show smart rules</translation>
    </message>
    <message>
        <source>K2200_AlarmSound</source>
        <translation>Alarm sounds</translation>
    </message>
    <message>
        <source>K2201_Add</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>K2250_ToolBar</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>K2251_ShowToolBar</source>
        <translation>Show the toolbar</translation>
    </message>
    <message>
        <source>K2260_PreviewToolBar</source>
        <translation>Preview toolbar</translation>
    </message>
    <message>
        <source>K2261_PreviewToolBarInfo</source>
        <translation>Buttons of the preview toolbar</translation>
    </message>
    <message>
        <source>K2270_PlaybackToolBar</source>
        <translation>Playback toolbar</translation>
    </message>
    <message>
        <source>K2271_PlaybackToolBarInfo</source>
        <translation>Buttons of the playback toolbar</translation>
    </message>
    <message>
        <source>K2280_TbPause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>K2281_TbLocate</source>
        <translation>Locate</translation>
    </message>
    <message>
        <source>K2282_TbSnapshot</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <source>K2283_TbVideo</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>K2284_TbTalk</source>
        <translation>Talk</translation>
    </message>
    <message>
        <source>K2285_TbMagnify</source>
        <translation>Magnify</translation>
    </message>
    <message>
        <source>K2286_TbLoop</source>
        <translation>Loop</translation>
    </message>
    <message>
        <source>K2287_TbSettings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>K2288_TbRecord</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>K2289_TbPlayback</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>K2290_TbDownload</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>K2291_TbTag</source>
        <translation>Tag</translation>
    </message>
    <message>
        <source>K2300_E-MAIL</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>K2301_SMTPServer</source>
        <translation>SMTP server</translation>
    </message>
    <message>
        <source>K2302_EncryptiontType</source>
        <translation>Security</translation>
    </message>
    <message>
        <source>K2303_NoEncryption</source>
        <translation>None</translation>
    </message>
    <message>
        <source>K2304_SSL</source>
        <translation>SSL</translation>
    </message>
    <message>
        <source>K2305_STARTTLS</source>
        <translation>STARTTLS</translation>
    </message>
    <message>
        <source>K2306_PortNum</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>K2308_Sender</source>
        <translation>Sender</translation>
    </message>
    <message>
        <source>K2309_User</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>K2310_Password</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>K2311_Subject</source>
        <translation>Subject</translation>
    </message>
    <message>
        <source>K2312_Recipient_One</source>
        <translation>Recipient 1</translation>
    </message>
    <message>
        <source>K2313_Recipient_Two</source>
        <translation>Recipient 2</translation>
    </message>
    <message>
        <source>K2314_Recipient_Three</source>
        <translation>Recipient 3</translation>
    </message>
    <message>
        <source>K2315_SendTestMail</source>
        <translation>Send a test mail</translation>
    </message>
    <message>
        <source>K2350_Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>K2351_DefaultValue</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>K6344_Adaptive</source>
        <translation>Fit the window</translation>
    </message>
    <message>
        <source>K6860_VideoSetting</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>K6861_PlaybackConfig</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>Mwidget</source>
        <translation>Settings</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>K0032_MainView</source>
        <translation>Main view</translation>
    </message>
    <message>
        <source>K0103_SpecChars</source>
        <translation>A name may not contain |, / or \.</translation>
    </message>
    <message>
        <source>K0461_PasswordErr</source>
        <translation>The user name or password is wrong.</translation>
    </message>
    <message>
        <source>K0474_Operattion</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>K2000_SystemSetting</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>K2002_Base</source>
        <translation>General</translation>
    </message>
    <message>
        <source>K2050_FileSave</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>K2056_SelectFilePath</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>K2200_AlarmSound</source>
        <translation>Alarm sounds</translation>
    </message>
    <message>
        <source>K2210_HvNo</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>K2211_HvType</source>
        <translation>Alarm type</translation>
    </message>
    <message>
        <source>K2212_HvAudioFile</source>
        <translation>Sound file</translation>
    </message>
    <message>
        <source>K2213_Play</source>
        <translation>Play the saved sound</translation>
    </message>
    <message>
        <source>K2214_SelectAudioFile</source>
        <translation>Choose a sound file</translation>
    </message>
    <message>
        <source>K2215_NotAudioFile</source>
        <translation>The file is not a WAV sound.</translation>
    </message>
    <message>
        <source>K2216_Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>K2220_MobeileDetection</source>
        <translation>Motion detection</translation>
    </message>
    <message>
        <source>K2221_AudioVedioAbnor</source>
        <translation>Audio or video fault</translation>
    </message>
    <message>
        <source>K2222_AlarmIn</source>
        <translation>Alarm input</translation>
    </message>
    <message>
        <source>K2223_AIAlarm</source>
        <translation>Smart alarm</translation>
    </message>
    <message>
        <source>K2225_DeviceErr</source>
        <translation>Device fault</translation>
    </message>
    <message>
        <source>K2226_AccessControl</source>
        <translation>Access control</translation>
    </message>
    <message>
        <source>K2227_OtherAlarm</source>
        <translation>Other alarm</translation>
    </message>
    <message>
        <source>K2228_UserDefineType</source>
        <translation>Custom alarm</translation>
    </message>
    <message>
        <source>K2250_ToolBar</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>K2300_E-MAIL</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>K2352_Unsaved</source>
        <translation>Not saved</translation>
    </message>
    <message>
        <source>K2353_ChangesLost</source>
        <translation>Unsaved changes were dropped:</translation>
    </message>
    <message>
        <source>K2354_Success</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>K2355_SaveSuccessfully</source>
        <translation>The settings were saved.</translation>
    </message>
    <message>
        <source>K2356_Fail</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>K2357_SaveFailed</source>
        <translation>The settings could not be saved.</translation>
    </message>
    <message>
        <source>K2359_SendErr</source>
        <translation>The mail could not be sent</translation>
    </message>
    <message>
        <source>K2359_SendSuccess</source>
        <translation>The test mail was sent.</translation>
    </message>
    <message>
        <source>K3544_Audio</source>
        <translation>WAV sounds</translation>
    </message>
    <message>
        <source>K6860_VideoSetting</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>K6861_PlaybackConfig</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>K6929_EmailNotEmpty</source>
        <translation>Give at least one recipient.</translation>
    </message>
    <message>
        <source>K6934_PathSelect</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>K6935_SMTPNotEmpty</source>
        <translation>Give the SMTP server.</translation>
    </message>
</context>
</TS>
