<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en">
<context>
    <name>QObject</name>
    <message>
        <source>K6859_Runnig</source>
        <translation>is already running.</translation>
    </message>
    <message>
        <source>K3740_Config</source>
        <translation>Open console</translation>
    </message>
    <message>
        <source>K3740_Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>K3741_Msg</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>K3742_MsgContent</source>
        <translation>Stop the recording server and exit?</translation>
    </message>
    <message>
        <source>K3744_KestoStart</source>
        <translation>The recording server has started.</translation>
    </message>
    <message>
        <source>K3745_Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>K3746_KestoFail</source>
        <translation>The recording server failed to start. Check that its port is free.</translation>
    </message>
    <message>
        <source>K3765_ImportSecurityFail</source>
        <translation>Importing the security file failed.</translation>
    </message>
    <message>
        <source>K3766_ImportSecurityOK</source>
        <translation>The security file was imported.</translation>
    </message>
    <message>
        <source>K4604_LbWarning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>K4536_ServerExiting</source>
        <translation>The server is stopping, please wait...</translation>
    </message>
    <message>
        <source>K6590_Day</source>
        <translation>day(s)</translation>
    </message>
    <message>
        <source>K3534_Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>K6107_Overwrite</source>
        <translation>Overwrite the oldest records</translation>
    </message>
    <message>
        <source>K3718_Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>K0414_Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>K3722_RecordChnList</source>
        <translation>Recording channels</translation>
    </message>
    <message>
        <source>K3713_DiskStatus</source>
        <translation>Disk status</translation>
    </message>
    <message>
        <source>K3724_BlockStatus</source>
        <translation>Block status</translation>
    </message>
    <message>
        <source>K3703_StartTime</source>
        <translation>Start time</translation>
    </message>
    <message>
        <source>K3704_EndTime</source>
        <translation>End time</translation>
    </message>
    <message>
        <source>K0637_StreamType</source>
        <translation>Stream type</translation>
    </message>
    <message>
        <source>K0020_Search</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>K3739_CUIDTip</source>
        <translation>Leave the CUID empty to search every camera.</translation>
    </message>
    <message>
        <source>K0403_IPAddress</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>K0405_PortNum</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>K3747_RunTime</source>
        <translation>Running time</translation>
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
        <source>K3770_LbSecurity</source>
        <translation>Security file</translation>
    </message>
    <message>
        <source>K6090_HDDFull</source>
        <translation>When the disks are full</translation>
    </message>
    <message>
        <source>K0071_strMaximize</source>
        <translation>Maximize</translation>
    </message>
    <message>
        <source>K0072_Str_MinWindow</source>
        <translation>Minimize to the tray</translation>
    </message>
    <message>
        <source>K3719_DiskInit</source>
        <translation>Disks</translation>
    </message>
    <message>
        <source>K3720_ChnManage</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>K3721_RecordSearch</source>
        <translation>Record search</translation>
    </message>
    <message>
        <source>K3769_PgConfig</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>K0435_MainStream</source>
        <translation>Main stream</translation>
    </message>
    <message>
        <source>K0436_SubStream</source>
        <translation>Sub stream</translation>
    </message>
    <message>
        <source>K0642_ThirdStream</source>
        <translation>Third stream</translation>
    </message>
    <message>
        <source>K0474_Operattion</source>
        <translation>Actions</translation>
    </message>
    <message>
        <source>K0478_Channel</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>K3526_SerialNumber</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>K3527_EncodeingFormat</source>
        <translation>Encoding</translation>
    </message>
    <message>
        <source>K3533_Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>K3701_FileSize</source>
        <translation>File size</translation>
    </message>
    <message>
        <source>K3702_Resolution</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>K3705_RecordType</source>
        <translation>Record type</translation>
    </message>
    <message>
        <source>K3706_FileName</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>K3707_OnRecord</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>K3708_OnRead</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>K3709_Idle</source>
        <translation>Idle</translation>
    </message>
    <message>
        <source>K3710_UnFormat</source>
        <translation>Not formatted</translation>
    </message>
    <message>
        <source>K3711_DiskNo</source>
        <translation>Disk no.</translation>
    </message>
    <message>
        <source>K3712_DiskSpace</source>
        <translation>Space used/total (MB)</translation>
    </message>
    <message>
        <source>K3714_DiskType</source>
        <translation>Disk type</translation>
    </message>
    <message>
        <source>K3715_DiskName</source>
        <translation>Disk name</translation>
    </message>
    <message>
        <source>K3716_DiskPath</source>
        <translation>Disk path</translation>
    </message>
    <message>
        <source>K3717_OnRW</source>
        <translation>Reading and writing</translation>
    </message>
    <message>
        <source>K3725_ChnName</source>
        <translation>Channel name</translation>
    </message>
    <message>
        <source>K3726_RecordStatus</source>
        <translation>Record status</translation>
    </message>
    <message>
        <source>K3727_TotalTime</source>
        <translation>Total time</translation>
    </message>
    <message>
        <source>K3728_FileNum</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>K3729_FrameNum</source>
        <translation>Frames</translation>
    </message>
    <message>
        <source>K3731_ManualRecord</source>
        <translation>Manual</translation>
    </message>
    <message>
        <source>K3732_ScheduleRecord</source>
        <translation>Scheduled</translation>
    </message>
    <message>
        <source>K3733_EventRecord</source>
        <translation>Event</translation>
    </message>
    <message>
        <source>K3734_BitRate</source>
        <translation>Bit rate (kbps)</translation>
    </message>
    <message>
        <source>K3735_FPS</source>
        <translation>Frame rate</translation>
    </message>
    <message>
        <source>K3738_MediaType</source>
        <translation>Media type</translation>
    </message>
    <message>
        <source>K3781_OnWrite</source>
        <translation>Writing</translation>
    </message>
    <message>
        <source>K4763_CUID</source>
        <translation>CUID</translation>
    </message>
    <message>
        <source>K4777_DiskFormat</source>
        <translation>Format disk</translation>
    </message>
    <message>
        <source>K4778_DiskFormatInfo</source>
        <translation>Formatting erases every record on the chosen disks. Continue?</translation>
    </message>
    <message>
        <source>K4779_ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>K4780_--</source>
        <translation>--</translation>
    </message>
    <message>
        <source>--</source>
        <translation>--</translation>
    </message>
    <message>
        <source>K6054_ChannelStatus</source>
        <translation>Channel streams</translation>
    </message>
    <message>
        <source>K6948_SelectDisk</source>
        <translation>Choose at least one disk first.</translation>
    </message>
    <message>
        <source>K3775_LbAutoRunWithSys</source>
        <translation>Start with the system</translation>
    </message>
    <message>
        <source>K3771_Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>K6453_Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>K3540_Snapshot</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <source>K3531_Slow</source>
        <translation>Slower</translation>
    </message>
    <message>
        <source>K3530_Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>K3532_Fast</source>
        <translation>Faster</translation>
    </message>
    <message>
        <source>K0805_CaptureFailed</source>
        <translation>Snapshot failed.</translation>
    </message>
    <message>
        <source>K4781_CUID: </source>
        <translation>Camera ID: </translation>
    </message>
    <message>
        <source>K4782_---&gt;</source>
        <translation> ---&gt; </translation>
    </message>
    <message>
        <source>K7901_PlayFileMissing</source>
        <translation>The record file cannot be found.</translation>
    </message>
    <message>
        <source>K7902_PlayFileEmpty</source>
        <translation>The record file is empty.</translation>
    </message>
    <message>
        <source>K7903_PlayFileDamaged</source>
        <translation>The record file is damaged or is not a record the player can read.</translation>
    </message>
    <message>
        <source>K7904_PlayFailed</source>
        <translation>The record cannot be played.</translation>
    </message>
    <message>
        <source>K7910_SearchTimeOrder</source>
        <translation>The start time must be before the end time.</translation>
    </message>
    <message>
        <source>K7911_SearchFail</source>
        <translation>The record search could not be run.</translation>
    </message>
    <message>
        <source>K7912_SearchIncomplete</source>
        <translation>The record search stopped early; the list may be incomplete.</translation>
    </message>
    <message>
        <source>K7913_BlockReadFail</source>
        <translation>The storage blocks of disk no. %1 could not be read.</translation>
    </message>
    <message>
        <source>K4784_DiskFormatFail</source>
        <translation>Disk no. %1 could not be formatted.</translation>
    </message>
    <message>
        <source>K7920_PlayOpening</source>
        <translation>Opening the record...</translation>
    </message>
    <message>
        <source>K7921_DiskQueryFail</source>
        <translation>The disks could not be read from the recording engine. The disk tables show what was read last.</translation>
    </message>
    <message>
        <source>K7922_ChnQueryFail</source>
        <translation>The channels could not be read from the recording engine. The channel table shows what was read last.</translation>
    </message>
    <message>
        <source>K7923_CuidQueryFail</source>
        <translation>The camera identities could not be read from the recording engine. The record search keeps the list read last.</translation>
    </message>
    <message>
        <source>K7924_DiskFormatFailReason</source>
        <translation>Disk no. %1 could not be formatted: %2</translation>
    </message>
    <message>
        <source>K7925_ReasonForeignFiles</source>
        <translation>the folder %1 holds files that are not the recording engine&apos;s, and nothing was removed.</translation>
    </message>
    <message>
        <source>K7926_ReasonNotRemovable</source>
        <translation>a file or folder could not be removed (%1).</translation>
    </message>
    <message>
        <source>K7927_ReasonDiskBusy</source>
        <translation>the disk %1 stayed busy with recording. Try again later.</translation>
    </message>
    <message>
        <source>K7928_ReasonNoFolder</source>
        <translation>the disk&apos;s folder %1 does not exist or is not a folder.</translation>
    </message>
    <message>
        <source>K7929_ReasonIO</source>
        <translation>a read or write failed (%1).</translation>
    </message>
    <message>
        <source>K7930_ReasonNoDisk</source>
        <translation>there is no disk no. %1 in the settings.</translation>
    </message>
    <message>
        <source>K7931_ConfigProblemsTitle</source>
        <translation>Settings problems</translation>
    </message>
    <message>
        <source>K7932_ConfigProblems</source>
        <translation>The recording engine found problems in its settings and went on as described:</translation>
    </message>
    <message>
        <source>K3789_EngineDownPortInUse</source>
        <translation>The recording server is not running: port %1 is in use. Enter a free port under Settings and apply it.</translation>
    </message>
    <message>
        <source>K3790_EngineDownPortDenied</source>
        <translation>The recording server is not running: port %1 may not be used by this account. Enter another port under Settings and apply it.</translation>
    </message>
    <message>
        <source>K3791_EngineDownFailed</source>
        <translation>The recording server is not running: it failed to start on port %1 (error %2).</translation>
    </message>
    <message>
        <source>K3792_PortSaveFail</source>
        <translation>The recording server runs on port %1, but the port could not be saved in the settings file.</translation>
    </message>
</context>
<context>
    <name>KestoRecordServer</name>
    <message>
        <source>K0506_DevTypeKesto</source>
        <translation>Kesto Recording Server</translation>
    </message>
    <message>
        <source>K3719_DiskInit</source>
        <translation>Disks</translation>
    </message>
    <message>
        <source>K3720_ChnManage</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>K3713_DiskStatus</source>
        <translation>Disk status</translation>
    </message>
    <message>
        <source>K3721_RecordSearch</source>
        <translation>Record search</translation>
    </message>
    <message>
        <source>K3769_PgConfig</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>CUID:</source>
        <translation>CUID:</translation>
    </message>
    <message>
        <source>K6453_Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>K3771_Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>K3775_LbAutoRunWithSys</source>
        <translation>Start with the system</translation>
    </message>
    <message>
        <source>K3776_LbIP</source>
        <translation>Server address</translation>
    </message>
</context>
<context>
    <name>PageRecordServerDiskStatus</name>
    <message>
        <source>Form</source>
        <translation>Disk status</translation>
    </message>
    <message>
        <source>K3777_FormatState</source>
        <translation>Formatted</translation>
    </message>
    <message>
        <source>K3778_MountState</source>
        <translation>Mounted</translation>
    </message>
    <message>
        <source>K3779_ReadyState</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>K3780_OnRead</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>K3781_OnWrite</source>
        <translation>Writing</translation>
    </message>
    <message>
        <source>K3782_Sleep</source>
        <translation>Asleep</translation>
    </message>
    <message>
        <source>K3783_DiskFull</source>
        <translation>Full</translation>
    </message>
    <message>
        <source>K3784_DiskErr</source>
        <translation>Faulty</translation>
    </message>
    <message>
        <source>K3785_Opening</source>
        <translation>Opening</translation>
    </message>
    <message>
        <source>K3786_Closed</source>
        <translation>Closed</translation>
    </message>
    <message>
        <source>K3787_VersionObsolete</source>
        <translation>Version obsolete</translation>
    </message>
    <message>
        <source>K3788_SwitchIP</source>
        <translation>Switching IP</translation>
    </message>
</context>
<context>
    <name>INFRA</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
