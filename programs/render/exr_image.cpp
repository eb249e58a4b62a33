#include "programs/render/exr_image.h"

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStdIO.h>

#include <array>
#include <exception>
#include <string>

#include "engine/display.h"

namespace lucentor {
namespace {

constexpr std::array<const char*, 3> kChannelNames = {"R", "G", "B"};

// The means, three values a pixel, interleaved row after row from the top; each is the same
// single-precision product as the PFM's.
template <typename Value>
std::vector<Value> interleavedMeans(const Vec3* sums, int passCount, ImageSize size) {
    const float factor = meanFactor(passCount);
    const auto pixels = std::size_t(size.pixelCount());
    std::vector<Value> values(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        values[i * 3] = Value(factor * sums[i].x);
        values[i * 3 + 1] = Value(factor * sums[i].y);
        values[i * 3 + 2] = Value(factor * sums[i].z);
    }
    return values;
}

template <typename Value>
std::vector<unsigned char> writeExr(const std::vector<Value>& values, ImageSize size,
                                    Imf::PixelType type) {
    Imf::Header header(size.width, size.height);
    Imf::FrameBuffer frame;
    const std::size_t pixelStride = 3 * sizeof(Value);
    const std::size_t rowStride = pixelStride * std::size_t(size.width);
    for (std::size_t c = 0; c < kChannelNames.size(); ++c) {
        header.channels().insert(kChannelNames[c], Imf::Channel(type));
        // The library only reads through this pointer; its interface is not const.
        char* first = const_cast<char*>(reinterpret_cast<const char*>(values.data() + c));
        frame.insert(kChannelNames[c], Imf::Slice(type, first, pixelStride, rowStride));
    }
    Imf::StdOSStream stream;
    {
        Imf::OutputFile file(stream, header);
        file.setFrameBuffer(frame);
        file.writePixels(size.height);
    }  // the file's offset table is written when it closes
    const std::string bytes = stream.str();
    return {bytes.begin(), bytes.end()};
}

}  // namespace

std::vector<unsigned char> encodeExr(const Vec3* sums, int passCount, ImageSize size,
                                     ExrPrecision precision) {
    try {
        if (precision == ExrPrecision::Half) {
            return writeExr(interleavedMeans<Imath::half>(sums, passCount, size), size, Imf::HALF);
        }
        return writeExr(interleavedMeans<float>(sums, passCount, size), size, Imf::FLOAT);
    } catch (const std::exception&) {
        // An empty result is reported as a picture that could not be encoded.
        return {};
    }
}

}  // namespace lucentor
