#pragma once

#include <QIcon>

// The glyphs of the window's bitmap buttons, drawn rather than shipped so they stay sharp at
// any scale.
namespace tdb::app {

// The OK kind: a green check mark.
QIcon okGlyph();
// The Close kind: an open door with an arrow leaving through it.
QIcon closeGlyph();

} // namespace tdb::app
