// Where a returned slice belongs, read from its file name. Stable Diffusion's
// batch and other back ends keep the exported name inside theirs
// ("00012-slice_007_(1200,340,512,512)-1.webp"), so the last slice or rotate
// name the file name holds gives the square.
#pragma once

#include <QString>

struct ReturnedName {
  bool valid = false;
  bool rotating = false;
  int number = 0;  // the export counter NNN
  int x = 0, y = 0, width = 0, height = 0, angle = 0;
};

// The largest side and coordinate a name may give: beyond them it is not one
// of ours, and sums of them stay far from the int range.
constexpr int kReturnedNameLimit = 1 << 24;

// Reads the last "slice_NNN_(x,y,w,h)" or "rotate_NNN_(x,y,w,h,a)" in the file
// name of path (its folder is ignored). Coordinates and the angle may be
// negative, sides are 1 to kReturnedNameLimit; anything else is no match.
ReturnedName ParseReturnedName(const QString& path);
