#include "app/WindowPlacement.h"

#include <algorithm>

namespace placement {

QRect ClampToArea(const QRect& window, const QRect& available) {
  const int w = std::min(window.width(), available.width());
  const int h = std::min(window.height(), available.height());
  const int x = std::clamp(window.x(), available.left(), available.left() + available.width() - w);
  const int y = std::clamp(window.y(), available.top(), available.top() + available.height() - h);
  return {x, y, w, h};
}

QRect FirstStart(QSize wanted, const QRect& available) {
  const int w = std::min(wanted.width(), available.width() * 9 / 10);
  const int h = std::min(wanted.height(), available.height() * 9 / 10);
  return {available.x() + (available.width() - w) / 2, available.y() + (available.height() - h) / 2,
          w, h};
}

std::vector<int> ShrinkDocks(int centre, int minCentre, const std::vector<int>& sizes,
                             const std::vector<int>& minimums) {
  std::vector<int> result = sizes;
  const int missing = minCentre - centre;
  if (missing <= 0) return result;
  long long spare = 0;
  for (size_t i = 0; i < sizes.size(); ++i)
    spare += std::max(0, sizes[i] - (i < minimums.size() ? minimums[i] : 0));
  if (spare <= 0) return result;
  const long long take = std::min<long long>(missing, spare);
  long long taken = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const int above = std::max(0, sizes[i] - (i < minimums.size() ? minimums[i] : 0));
    // rounded up, so that the whole missing room is found
    const int cut = static_cast<int>(
        std::min<long long>({(take * above + spare - 1) / spare, above, take - taken}));
    result[i] -= cut;
    taken += cut;
  }
  return result;
}

}  // namespace placement
