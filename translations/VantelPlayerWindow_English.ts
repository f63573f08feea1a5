<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>MainWindow</name>
    <message>
        <source>play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>stick_never</source>
        <translation>Never on top</translation>
    </message>
    <message>
        <source>stick_always</source>
        <translation>Always on top</translation>
    </message>
    <message>
        <source>stick_playing</source>
        <translation>On top while playing</translation>
    </message>
    <message>
        <source>split_1</source>
        <translation>1 view</translation>
    </message>
    <message>
        <source>split_4</source>
        <translation>4 views</translation>
    </message>
    <message>
        <source>split_9</source>
        <translation>9 views</translation>
    </message>
    <message>
        <source>split_16</source>
        <translation>16 views</translation>
    </message>
    <message>
        <source>split_window</source>
        <translation>Views</translation>
    </message>
    <message>
        <source>full_screen</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>play_list_spread</source>
        <translation>Show the play list</translation>
    </message>
    <message>
        <source>play_list_hide</source>
        <translation>Hide the play list</translation>
    </message>
    <message>
        <source>file_name</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>maxisize</source>
        <translation>Maximise</translation>
    </message>
    <message>
        <source>minisize</source>
        <translation>Minimise</translation>
    </message>
    <message>
        <source>main_menu</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>add_to_play_list</source>
        <translation>Add to the play list</translation>
    </message>
    <message>
        <source>file_filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>clear</source>
        <translation>Clear the list</translation>
    </message>
    <message>
        <source>snap</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <source>stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>play_slower</source>
        <translation>Slower</translation>
    </message>
    <message>
        <source>play_faster</source>
        <translation>Faster</translation>
    </message>
    <message>
        <source>frame</source>
        <translation>Next frame</translation>
    </message>
    <message>
        <source>list_mode_single</source>
        <translation>Play one file</translation>
    </message>
    <message>
        <source>list_mode_single_loop</source>
        <translation>Repeat one file</translation>
    </message>
    <message>
        <source>list_mode_list</source>
        <translation>Play the list</translation>
    </message>
    <message>
        <source>list_mode_loop</source>
        <translation>Repeat the list</translation>
    </message>
    <message>
        <source>voice_mute</source>
        <translation>Sound off</translation>
    </message>
    <message>
        <source>voice_audio_on</source>
        <translation>Sound on</translation>
    </message>
    <message>
        <source>tip</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>stream_login_fail</source>
        <translation>The stream could not be opened</translation>
    </message>
    <message>
        <source>stream_lost</source>
        <translation>The stream was lost</translation>
    </message>
    <message>
        <source>stream_view</source>
        <translation>view</translation>
    </message>
    <message>
        <source>add_file</source>
        <translation>Add files</translation>
    </message>
    <message>
        <source>add_folder</source>
        <translation>Add a folder</translation>
    </message>
    <message>
        <source>ensure_clear_list</source>
        <translation>Clear the play list? Every view stops.</translation>
    </message>
    <message>
        <source>snap_done</source>
        <translation>Snapshot</translation>
    </message>
    <message>
        <source>snap_success</source>
        <translation>The picture was saved</translation>
    </message>
    <message>
        <source>snap_fail</source>
        <translation>The picture could not be saved</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Play list</translation>
    </message>
    <message>
        <source>language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>setting</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>backup_list</source>
        <translation>Backup list</translation>
    </message>
    <message>
        <source>about</source>
        <translation>About</translation>
    </message>
    <message>
        <source>exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>add_disk_file</source>
        <translation>Add recorder disk files</translation>
    </message>
    <message>
        <source>add_URL</source>
        <translation>Add stream URL</translation>
    </message>
    <message>
        <source>delete</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>file_info</source>
        <translation>File information</translation>
    </message>
    <message>
        <source>open_src</source>
        <translation>Open the file's folder</translation>
    </message>
    <message>
        <source>play_control</source>
        <translation>Play control</translation>
    </message>
    <message>
        <source>play_normal_speed</source>
        <translation>Normal speed</translation>
    </message>
    <message>
        <source>local_time_stamp</source>
        <translation>Locate by seconds</translation>
    </message>
    <message>
        <source>local_time_global</source>
        <translation>Locate by time</translation>
    </message>
    <message>
        <source>aspect_ratio</source>
        <translation>Aspect ratio</translation>
    </message>
    <message>
        <source>aspect_ratio_fill</source>
        <translation>Fill</translation>
    </message>
    <message>
        <source>aspect_ratio_original</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>aspect_ratio_4_3</source>
        <translation>4:3</translation>
    </message>
    <message>
        <source>aspect_ratio_16_9</source>
        <translation>16:9</translation>
    </message>
    <message>
        <source>cut</source>
        <translation>Cut a clip</translation>
    </message>
    <message>
        <source>cut_done</source>
        <translation>Clip</translation>
    </message>
    <message>
        <source>cut_success</source>
        <translation>The clip is saved.</translation>
    </message>
    <message>
        <source>cut_fail</source>
        <translation>The clip could not be made.</translation>
    </message>
    <message>
        <source>cut_disk_full</source>
        <translation>The clip stopped: the disk is full.</translation>
    </message>
</context>
</TS>
