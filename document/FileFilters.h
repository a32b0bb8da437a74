// The file dialogs' filters. The document and the application spell them in
// the "Name|*.a;*.b|...||" form; Qt's dialogs take "Name (*.a *.b);;...".
#pragma once

#include <QString>

// The twelve rows of the image Open dialog (also the shadow image's dialog).
const QString& OpenImageFilter();
// The proposed name and default extension of the image Open dialogs.
const QString& OpenImageExtensions();
// Converts a "Name|patterns|...||" filter to Qt's form. A name that already
// ends in a parenthesised list gets the row's patterns there instead; "*.*"
// becomes "*", which on this platform also matches names without a dot.
QString ToQtFilter(const QString& filter);
// The Qt filter of the image Open dialog, converted once.
const QString& OpenImageQtFilter();
// The folder part of a chosen path: the part before its last "/", or the
// whole path when it has none; a file directly in "/" gives "/".
QString FolderOfPath(const QString& path);
