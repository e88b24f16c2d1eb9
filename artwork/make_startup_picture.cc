// Draws the start-up picture: a 640 x 452 aerial-looking view of terrain
// (relief with hill shading, fields, a river and roads) with the product name
// and version written over it, saved as a progressive JPEG with three colour
// components. Run: make_startup_picture OUTPUT.jpg

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <jpeglib.h>
#include <cstdio>

#include <cmath>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 452;

// Smooth value noise over a lattice, summed over octaves.
class Relief {
 public:
  explicit Relief(quint32 seed) {
    QRandomGenerator random(seed);
    lattice_.resize(kSize * kSize);
    for (double& v : lattice_) v = random.generateDouble();
  }
  double at(double x, double y) const {
    double sum = 0, amplitude = 1, total = 0, frequency = 1.0 / 170;
    for (int octave = 0; octave < 5; ++octave) {
      sum += amplitude * noise(x * frequency, y * frequency);
      total += amplitude;
      amplitude *= 0.45;
      frequency *= 2;
    }
    return sum / total;
  }

 private:
  static constexpr int kSize = 256;
  double lattice(int x, int y) const { return lattice_[(y & (kSize - 1)) * kSize + (x & (kSize - 1))]; }
  static double fade(double t) { return t * t * (3 - 2 * t); }
  double noise(double x, double y) const {
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const double fx = fade(x - x0), fy = fade(y - y0);
    const double a = lattice(x0, y0) + (lattice(x0 + 1, y0) - lattice(x0, y0)) * fx;
    const double b = lattice(x0, y0 + 1) + (lattice(x0 + 1, y0 + 1) - lattice(x0, y0 + 1)) * fx;
    return a + (b - a) * fy;
  }
  std::vector<double> lattice_;
};

QColor Mix(const QColor& a, const QColor& b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                          a.blueF() + (b.blueF() - a.blueF()) * t);
}

QImage DrawTerrain() {
  const Relief relief(20261209);
  std::vector<double> height(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) height[y * kWidth + x] = relief.at(x, y);

  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  const QColor low(0x4E, 0x6B, 0x2E), mid(0x8C, 0x8A, 0x4E), high(0x9E, 0x86, 0x62), peak(0xD8, 0xD4, 0xC8);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double h = height[y * kWidth + x];
      QColor c = h < 0.45  ? Mix(low, mid, (h - 0.25) / 0.2)
                 : h < 0.6 ? Mix(mid, high, (h - 0.45) / 0.15)
                           : Mix(high, peak, (h - 0.6) / 0.15);
      // Hill shading, light from the north-west.
      const double dx =
          height[y * kWidth + std::min(x + 1, kWidth - 1)] - height[y * kWidth + std::max(x - 1, 0)];
      const double dy =
          height[std::min(y + 1, kHeight - 1) * kWidth + x] - height[std::max(y - 1, 0) * kWidth + x];
      const double shade = std::clamp(1.0 - 30 * (dx + dy), 0.6, 1.3);
      image.setPixel(x, y,
                     qRgb(std::min(255, int(c.red() * shade)), std::min(255, int(c.green() * shade)),
                          std::min(255, int(c.blue() * shade))));
    }
  }

  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // Fields in the lowlands: tilted strips of crops.
  QRandomGenerator random(7);
  for (int i = 0; i < 90; ++i) {
    const int x = random.bounded(kWidth), y = random.bounded(kHeight);
    if (height[y * kWidth + x] > 0.5) continue;
    p.save();
    p.translate(x, y);
    p.rotate(random.bounded(-25, 25));
    const QColor crop =
        QColor::fromHsv(random.bounded(40, 95), random.bounded(60, 140), random.bounded(120, 200));
    for (int s = 0; s < 4; ++s) {
      QColor strip = crop.lighter(95 + 8 * s);
      strip.setAlpha(215);
      p.fillRect(QRect(0, s * 9, random.bounded(30, 60), 8), strip);
    }
    p.restore();
  }
  // A river winding from the north to the south-east.
  QPainterPath river(QPointF(150, -10));
  river.cubicTo(QPointF(260, 120), QPointF(90, 230), QPointF(300, 300));
  river.cubicTo(QPointF(430, 350), QPointF(480, 380), QPointF(660, 470));
  p.setPen(QPen(QColor(0x2E, 0x55, 0x7A), 6, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(river);
  p.setPen(QPen(QColor(0x4A, 0x7C, 0xA6), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(river);
  // Roads.
  p.setPen(QPen(QColor(0xD9, 0xCF, 0xB4), 2));
  p.drawLine(QPointF(-5, 360), QPointF(645, 250));
  QPainterPath road(QPointF(420, -5));
  road.quadTo(QPointF(380, 200), QPointF(520, 460));
  p.drawPath(road);
  p.end();
  return image;
}

void WriteText(QImage& image) {
  QPainter p(&image);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont title(QStringLiteral("DejaVu Sans"));
  title.setPixelSize(84);
  title.setBold(true);
  QFont version(QStringLiteral("DejaVu Sans"));
  version.setPixelSize(24);
  const QRect titleBox(0, 130, kWidth, 110), versionBox(0, 240, kWidth, 40);
  for (const auto& [font, box, text] : {std::tuple{title, titleBox, QStringLiteral("Skarvel")},
                                        std::tuple{version, versionBox, QStringLiteral("Version 1.0.0")}}) {
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 170));
    p.drawText(box.translated(3, 3), Qt::AlignCenter, text);
    p.setPen(QColor(0xFF, 0xFB, 0xF0));
    p.drawText(box, Qt::AlignCenter, text);
  }
}

bool SaveProgressiveJpeg(const QImage& source, const char* fileName) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  FILE* out = std::fopen(fileName, "wb");
  if (out == nullptr) return false;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = static_cast<JDIMENSION>(image.width());
  cinfo.image_height = static_cast<JDIMENSION>(image.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 88, TRUE);
  jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    auto* row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_startup_picture OUTPUT.jpg\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QImage image = DrawTerrain();
  WriteText(image);
  return SaveProgressiveJpeg(image, argv[1]) ? 0 : 1;
}
