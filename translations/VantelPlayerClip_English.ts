<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>CutTip</name>
    <message>
        <source>cut_Info</source>
        <translation>Clip</translation>
    </message>
    <message>
        <source>cut_start</source>
        <translation>Start clip</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>cut_time</source>
        <translation>Clip time:</translation>
    </message>
    <message>
        <source>file_time</source>
        <translation>File time:</translation>
    </message>
    <message>
        <source>file_path</source>
        <translation>File:</translation>
    </message>
    <message>
        <source>saving_path</source>
        <translation>Save in:</translation>
    </message>
    <message>
        <source>format</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>select_folder</source>
        <translation>Select folder</translation>
    </message>
    <message>
        <source>tip</source>
        <translation>Tip</translation>
    </message>
    <message>
        <source>error_cut_time</source>
        <translation>The clip's start must be before its end.</translation>
    </message>
    <message>
        <source>enter_valid_cut_time</source>
        <translation>Enter a clip time within the file's time.</translation>
    </message>
</context>
</TS>
