// The record player's default button pictures, drawn at run time so that the player is usable
// even where the program's style sheets give its buttons no pictures.
#pragma once

#include <QIcon>

enum class PlayerIcon { Snapshot, Slower, Play, Pause, Stop, Faster };

QIcon MakePlayerIcon(PlayerIcon which);
