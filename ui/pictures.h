// The window's pictures, compiled in from ui/pictures. Each has a copy twice its size beside
// it, NAME@2x.png, for scaled screens.
#pragma once

#include <QIcon>
#include <QStringList>

// An icon made of the named pictures (file names in ui/pictures, each of a different size)
// and their @2x copies. A file is decoded only when a screen first needs it: at scale 1 no
// @2x copy is ever read. At any scale the icon hands out the sharpest copy that need not be
// enlarged, brought down to the screen's pixels (1.5, say) where it is larger.
QIcon iconOf(const QStringList &files);

// The picture files decoded so far, in order, as resource paths: what start-up paid for.
QStringList decodedPictures();
