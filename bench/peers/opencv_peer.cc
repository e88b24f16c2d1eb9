// opencv_peer OP IN OUT ARGS...: the same operations done with OpenCV, to
// measure against. It lives only here, never in the product.
//   nearest IN OUT W H | bilinear IN OUT W H | crop IN OUT X Y W H |
//   grey IN OUT R G B CONTRAST

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string op = argv[1];
  const cv::Mat src = cv::imread(argv[2], cv::IMREAD_UNCHANGED);
  if (src.empty()) return 1;
  auto arg = [&](int i) { return std::atoi(argv[i]); };
  cv::Mat dst;
  if (op == "nearest" || op == "bilinear") {
    if (argc != 6) return 2;
    cv::resize(src, dst, cv::Size(arg(4), arg(5)), 0, 0, op == "nearest" ? cv::INTER_NEAREST : cv::INTER_LINEAR);
  } else if (op == "crop") {
    if (argc != 8) return 2;
    dst = src(cv::Rect(arg(4), arg(5), arg(6), arg(7))).clone();
  } else if (op == "grey") {
    if (argc != 8) return 2;
    const double kR = 1 + arg(4) / 100.0, kG = 1 + arg(5) / 100.0, kB = 1 + arg(6) / 100.0;
    const double k = arg(7) / 50.0;
    if (src.channels() == 1) {
      src.convertTo(dst, CV_8U, k * (kR + kG + kB) / 3, 127 * (1 - k));
    } else {
      cv::transform(src, dst, cv::Matx<float, 1, 4>(k * kR / 3, k * kG / 3, k * kB / 3, 127 * (1 - k)));
    }
  } else {
    return 2;
  }
  return cv::imwrite(argv[3], dst) ? 0 : 1;
}
