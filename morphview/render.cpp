#include "render.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

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

}  // namespace

Framing framingOf(const Mesh& mesh) {
  Vec lo{0, 0, 0}, hi{0, 0, 0};
  for (std::size_t i = 0; i < mesh.points.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      const double c = mesh.points[i][k];
      lo[k] = i == 0 ? c : std::min(lo[k], c);
      hi[k] = i == 0 ? c : std::max(hi[k], c);
    }
  }
  Framing framing;
  // In double, sums and distances of float coordinates cannot overflow.
  framing.centre = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
  for (const auto& p : mesh.points) {
    framing.radius = std::max(framing.radius, length(sub({p[0], p[1], p[2]}, framing.centre)));
  }
  return framing;
}

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
  const Camera cam = makeCamera(style.framing ? *style.framing : framingOf(mesh), toCamera, width, height);
  const bool byLevel = style.colour != ColourMode::plain && mesh.levels.size() == mesh.points.size();
  std::vector<double> depth(static_cast<std::size_t>(width) * height, -std::numeric_limits<double>::infinity());
  const int pointCount = static_cast<int>(mesh.points.size());

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
    const double facing = std::fabs(dot(normal, cam.toCamera)) / normalLength;
    const double ambient = byLevel ? shadingFloor(style.colour) : ambientShare;
    const double brightness = ambient + (1 - ambient) * std::min(facing, 1.0);
    const Rgb colour{shade(surfaceColour.r, brightness), shade(surfaceColour.g, brightness),
                     shade(surfaceColour.b, brightness)};

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
          image.set(x, y, byLevel ? levelPixel(mesh, face, w0, w1, w2, style.colour, brightness) : colour);
        }
      }
    }
  }
  return image;
}

Image renderPicture(const Mesh& mesh, const Direction& toCamera, int width, int height, const RenderStyle& style) {
  Image image = renderMesh(mesh, toCamera, width, height, style);
  drawLegend(image, style.colour, thresholdFor(mesh, style.colour));
  return image;
}

}  // namespace view
