#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "font.h"

namespace view {

namespace {

using Vec = std::array<double, 3>;

Vec sub(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double length(const Vec& a) { return std::sqrt(dot(a, a)); }
Vec scaled(const Vec& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }

struct Camera {
  Vec right, up, toCamera;  // orthonormal, right-handed
  Vec centre;               // the model point drawn at the image centre
  double scale = 0;         // pixels per model unit
};

Camera makeCamera(const Framing& framing, const Direction& direction, int width, int height) {
  Camera cam;
  cam.toCamera = scaled(direction, 1 / length(direction));
  Vec worldUp{0, 1, 0};
  if (std::fabs(cam.toCamera[1]) > 0.9999) worldUp = {0, 0, cam.toCamera[1] > 0 ? -1.0 : 1.0};
  const Vec right = cross(worldUp, cam.toCamera);
  cam.right = scaled(right, 1 / length(right));
  cam.up = cross(cam.toCamera, cam.right);
  cam.centre = framing.centre;
  // All points at one place: every face has zero area and nothing is drawn.
  cam.scale = framing.radius > 0 ? fittedRadius(width, height) / framing.radius : 0;
  return cam;
}

struct Projected {
  double x, y, depth;  // pixel coordinates (y down) and distance towards the camera
};

Projected project(const Camera& cam, const std::array<float, 3>& p, int width, int height) {
  const Vec d = sub({p[0], p[1], p[2]}, cam.centre);
  return {width / 2.0 + cam.scale * dot(d, cam.right), height / 2.0 - cam.scale * dot(d, cam.up), dot(d, cam.toCamera)};
}

std::uint8_t shade(std::uint8_t channel, double brightness) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(channel * brightness), 0L, 255L));
}

// The levels at a pixel, interpolated from its face's corners, coloured and shaded.
Rgb levelPixel(const Mesh& mesh, const std::array<int, 3>& face, double w0, double w1, double w2, ColourMode mode,
               double brightness) {
  const auto& a = mesh.levels[face[0]];
  const auto& b = mesh.levels[face[1]];
  const auto& c = mesh.levels[face[2]];
  std::array<double, 3> levels{};
  for (int k = 0; k < 3; ++k) levels[k] = w0 * a[k] + w1 * b[k] + w2 * c[k];
  const Rgb base = levelColour(mode, levels);
  return {shade(base.r, brightness), shade(base.g, brightness), shade(base.b, brightness)};
}

// The sphere around the bounding-box centre of the points `keep` accepts, through the
// farthest of them.
template <class Keep>
Framing framingAround(const stats::Points& points, Keep keep) {
  Vec lo{0, 0, 0}, hi{0, 0, 0};
  bool first = true;
  for (const auto& p : points) {
    if (!keep(p)) continue;
    for (int k = 0; k < 3; ++k) {
      const double c = p[k];
      lo[k] = first ? c : std::min(lo[k], c);
      hi[k] = first ? c : std::max(hi[k], c);
    }
    first = false;
  }
  Framing framing;
  // In double, sums and distances of float coordinates cannot overflow.
  framing.centre = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
  for (const auto& p : points) {
    if (keep(p)) framing.radius = std::max(framing.radius, length(sub({p[0], p[1], p[2]}, framing.centre)));
  }
  return framing;
}

}  // namespace

Framing framingOf(const Mesh& mesh) {
  return framingAround(mesh.points, [](const std::array<float, 3>&) { return true; });
}

Framing bodyFraming(const stats::Points& points, stats::FarPoints* far, stats::BodyBox* body) {
  const stats::BodyBox box = stats::bodyBox(points);
  if (far) *far = stats::farPoints(points, box);
  if (body) *body = box;
  const double margin = bodyMargin * box.size();
  if (!(margin > 0) || !std::isfinite(margin)) return framingAround(points, [](const std::array<float, 3>&) { return true; });
  return framingAround(points, [&](const std::array<float, 3>& p) { return stats::distanceFromBox(p, box) <= margin; });
}

std::string shortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

std::string farWarning(const std::string& file, const stats::FarPoints& far, const stats::BodyBox& body) {
  if (far.count == 0) return {};
  return file + ": warning: " + std::to_string(far.count) + (far.count == 1 ? " vertex lies" : " vertices lie") +
         " far outside the body (" + shortNumber(body.size()) + " across), up to " + shortNumber(far.farthest) +
         " from it; the picture frames the body (--frame all frames every vertex)";
}

double unitsPerPixel(const Framing& framing, int width, int height) {
  const double fitted = fittedRadius(width, height);
  return fitted > 0 ? framing.radius / fitted : 0;
}

double scaleBarLength(double unitsPerPixel, int width, double share) {
  const double longest = unitsPerPixel * width * share;
  if (!(longest > 0) || !std::isfinite(longest)) return 0;
  const double decade = std::pow(10.0, std::floor(std::log10(longest)));
  for (const double step : {5.0, 2.0, 1.0}) {
    if (step * decade <= longest) return step * decade;
  }
  return decade;
}

std::string pictureTitle(const std::string& file, const std::optional<long long>& seed,
                         const std::optional<long long>& cycle) {
  const std::size_t slash = file.find_last_of('/');
  std::string title = slash == std::string::npos || slash + 1 == file.size() ? file : file.substr(slash + 1);
  if (seed) title += "  seed " + std::to_string(*seed);
  if (cycle) title += "  cycle " + std::to_string(*cycle);
  return title;
}

void drawTitle(Image& image, const std::string& title) {
  if (title.empty()) return;
  const int scale = textScale(image.width(), image.height());
  const int margin = std::max(2, std::min(image.width(), image.height()) / 64);
  const std::size_t room = static_cast<std::size_t>(std::max(1, (image.width() - 2 * margin) / (glyphAdvance * scale)));
  std::string shown = title;
  if (shown.size() > room) shown = room > 3 ? "..." + title.substr(title.size() - (room - 3)) : title.substr(title.size() - room);
  drawText(image, margin, margin, shown, legendMarkColour, scale);
}

namespace {

// A bar of a round length in model units with its length written above it, at the lower
// left, above the legend of a coloured picture.
void drawScaleBar(Image& image, const Framing& framing, ColourMode mode) {
  const double perPixel = unitsPerPixel(framing, image.width(), image.height());
  const double units = scaleBarLength(perPixel, image.width());
  if (!(units > 0)) return;
  const int scale = textScale(image.width(), image.height());
  const int margin = std::max(2, std::min(image.width(), image.height()) / 64);
  const int pixels = std::max(1, static_cast<int>(std::lround(units / perPixel)));
  const int thick = 2 * scale;
  int bottom = image.height() - margin;
  if (mode != ColourMode::plain && mode != ColourMode::rgb) bottom = legendBar(image.width(), image.height()).nameTop - 4;
  const int top = bottom - thick;
  image.fill(margin - 1, top - 1, pixels + 2, thick + 2, legendEdgeColour);
  image.fill(margin, top, pixels, thick, legendMarkColour);
  const std::string label = shortNumber(units) + (units == 1 ? " unit" : " units");
  drawText(image, margin, top - 2 - glyphHeight * scale - 2, label, legendMarkColour, scale);
}

// Each point's normal: the sum of its faces' normals, each as long as twice the face's
// area, made unit length; zero where they cancel or there is no face.
std::vector<Vec> pointNormals(const Mesh& mesh) {
  std::vector<Vec> normals(mesh.points.size(), Vec{0, 0, 0});
  const auto count = static_cast<long long>(mesh.points.size());
  for (const auto& f : mesh.faces) {
    if (f[0] < 0 || f[1] < 0 || f[2] < 0 || f[0] >= count || f[1] >= count || f[2] >= count) continue;
    const auto& pa = mesh.points[f[0]];
    const auto& pb = mesh.points[f[1]];
    const auto& pc = mesh.points[f[2]];
    const Vec a{pa[0], pa[1], pa[2]};
    const Vec n = cross(sub({pb[0], pb[1], pb[2]}, a), sub({pc[0], pc[1], pc[2]}, a));
    if (!std::isfinite(length(n))) continue;
    for (const int c : f) {
      Vec& sum = normals[static_cast<std::size_t>(c)];
      for (int k = 0; k < 3; ++k) sum[k] += n[k];
    }
  }
  for (Vec& n : normals) {
    const double len = length(n);
    n = len > 0 && std::isfinite(len) ? scaled(n, 1 / len) : Vec{0, 0, 0};
  }
  return normals;
}

}  // namespace

double fittedRadius(int width, int height) {
  const double side = std::min(width, height);
  return side / 2 - side * marginShare;
}

bool usableDirection(const Direction& d) {
  if (!std::isfinite(d[0]) || !std::isfinite(d[1]) || !std::isfinite(d[2])) return false;
  const double len = length(d);
  return std::isfinite(len) && len > 0;
}

Image renderMesh(const Mesh& mesh, const Direction& toCamera, int width, int height, const RenderStyle& style) {
  Image image(width, height, backgroundFor(style.colour));
  if (width <= 0 || height <= 0 || mesh.points.empty() || !usableDirection(toCamera)) return image;
  const Framing framing = style.framing ? *style.framing : style.frameAll ? framingOf(mesh) : bodyFraming(mesh.points);
  const Camera cam = makeCamera(framing, toCamera, width, height);
  const bool byLevel = style.colour != ColourMode::plain && mesh.levels.size() == mesh.points.size();
  std::vector<double> depth(static_cast<std::size_t>(width) * height, -std::numeric_limits<double>::infinity());
  const int pointCount = static_cast<int>(mesh.points.size());
  const std::vector<Vec> normals = pointNormals(mesh);
  Vec light{0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    light[k] = lightFromCamera[0] * cam.right[k] + lightFromCamera[1] * cam.up[k] + lightFromCamera[2] * cam.toCamera[k];
  }
  light = scaled(light, 1 / length(light));
  const double ambient = byLevel ? shadingFloor(style.colour) : ambientShare;

  for (const auto& face : mesh.faces) {
    if (face[0] < 0 || face[1] < 0 || face[2] < 0 || face[0] >= pointCount || face[1] >= pointCount ||
        face[2] >= pointCount) {
      continue;
    }
    const auto& pa = mesh.points[face[0]];
    const auto& pb = mesh.points[face[1]];
    const auto& pc = mesh.points[face[2]];
    const Vec a{pa[0], pa[1], pa[2]}, b{pb[0], pb[1], pb[2]}, c{pc[0], pc[1], pc[2]};
    const Vec normal = cross(sub(b, a), sub(c, a));
    const double normalLength = length(normal);
    if (!(normalLength > 0) || !std::isfinite(normalLength)) continue;
    const Vec faceNormal = scaled(normal, 1 / normalLength);
    // The side seen: the back of a face is lit as a front turned to the camera.
    const double seenSide = dot(faceNormal, cam.toCamera) < 0 ? -1 : 1;
    const Vec& na = normals[face[0]];
    const Vec& nb = normals[face[1]];
    const Vec& nc = normals[face[2]];

    const Projected v[3] = {project(cam, pa, width, height), project(cam, pb, width, height),
                            project(cam, pc, width, height)};
    const double area = (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (v[1].y - v[0].y);
    if (!(area != 0) || !std::isfinite(area)) continue;

    const double minX = std::min({v[0].x, v[1].x, v[2].x}), maxX = std::max({v[0].x, v[1].x, v[2].x});
    const double minY = std::min({v[0].y, v[1].y, v[2].y}), maxY = std::max({v[0].y, v[1].y, v[2].y});
    // Pixel centres lie at +0.5; clamp before converting so no cast can overflow.
    const int x0 = static_cast<int>(std::clamp(std::floor(minX - 0.5), 0.0, width - 1.0));
    const int x1 = static_cast<int>(std::clamp(std::ceil(maxX - 0.5), 0.0, width - 1.0));
    const int y0 = static_cast<int>(std::clamp(std::floor(minY - 0.5), 0.0, height - 1.0));
    const int y1 = static_cast<int>(std::clamp(std::ceil(maxY - 0.5), 0.0, height - 1.0));
    for (int y = y0; y <= y1; ++y) {
      const double py = y + 0.5;
      for (int x = x0; x <= x1; ++x) {
        const double px = x + 0.5;
        // Barycentric weights, each the signed area opposite its corner over the whole.
        const double w0 = ((v[1].x - px) * (v[2].y - py) - (v[2].x - px) * (v[1].y - py)) / area;
        const double w1 = ((v[2].x - px) * (v[0].y - py) - (v[0].x - px) * (v[2].y - py)) / area;
        const double w2 = ((v[0].x - px) * (v[1].y - py) - (v[1].x - px) * (v[0].y - py)) / area;
        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
        const double z = w0 * v[0].depth + w1 * v[1].depth + w2 * v[2].depth;
        double& stored = depth[static_cast<std::size_t>(y) * width + x];
        if (z > stored) {
          stored = z;
          Vec n{w0 * na[0] + w1 * nb[0] + w2 * nc[0], w0 * na[1] + w1 * nb[1] + w2 * nc[1],
                w0 * na[2] + w1 * nb[2] + w2 * nc[2]};
          const double along = dot(n, faceNormal);
          // Where the points' normals cancel or disagree with the face (a fold, a mesh wound
          // both ways), the face's own normal.
          if (!(along > 0.2 * length(n)) || !(length(n) > 1e-6)) n = faceNormal;
          const double lit = seenSide * dot(n, light) / length(n);
          const double brightness = ambient + (1 - ambient) * std::clamp(lit, 0.0, 1.0);
          image.set(x, y,
                    byLevel ? levelPixel(mesh, face, w0, w1, w2, style.colour, brightness)
                            : Rgb{shade(surfaceColour.r, brightness), shade(surfaceColour.g, brightness),
                                  shade(surfaceColour.b, brightness)});
        }
      }
    }
  }
  return image;
}

Image renderPicture(const Mesh& mesh, const Direction& toCamera, int width, int height, const RenderStyle& style) {
  RenderStyle fixed = style;
  if (!fixed.framing) fixed.framing = style.frameAll ? framingOf(mesh) : bodyFraming(mesh.points);
  Image image = renderMesh(mesh, toCamera, width, height, fixed);
  drawLegend(image, style.colour, thresholdFor(mesh, style.colour));
  if (style.scaleBar && !mesh.points.empty()) drawScaleBar(image, *fixed.framing, style.colour);
  drawTitle(image, style.title);
  return image;
}

}  // namespace view
