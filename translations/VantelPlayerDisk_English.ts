<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AddDiskFile</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>add_disk_file</source>
        <translation>Add disk files</translation>
    </message>
    <message>
        <source>disk</source>
        <translation>Disk</translation>
    </message>
    <message>
        <source>refresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>stream</source>
        <translation>Stream</translation>
    </message>
    <message>
        <source>channel</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>all</source>
        <translation>All</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>main_stream</source>
        <translation>Main stream</translation>
    </message>
    <message>
        <source>sub_stream</source>
        <translation>Sub stream</translation>
    </message>
    <message>
        <source>tip</source>
        <translation>Tip</translation>
    </message>
    <message>
        <source>warning</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>error_search_time</source>
        <translation>The start time must be earlier than the end time.</translation>
    </message>
    <message>
        <source>error_search_channel</source>
        <translation>Choose at least one channel.</translation>
    </message>
    <message>
        <source>error_search_param</source>
        <translation>The search conditions are not valid.</translation>
    </message>
    <message>
        <source>no_record</source>
        <translation>No record was found.</translation>
    </message>
    <message>
        <source>fail_disk_file_search</source>
        <translation>The disk search failed.</translation>
    </message>
</context>
</TS>
