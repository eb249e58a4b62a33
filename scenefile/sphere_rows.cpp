#include "scenefile/sphere_rows.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace lucentor {
namespace {

constexpr int kColumns = 8;
constexpr std::array<std::string_view, kColumns> kColumnNames = {"x", "y", "z", "radius",
                                                                 "r", "g", "b", "material"};
constexpr std::string_view kHeader = "x,y,z,radius,r,g,b,material";

struct Line {
    std::string_view text;
    int number = 0;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// The header with its blanks removed, as a script may space it.
bool isHeader(std::string_view text) {
    std::string compact;
    for (const char c : text) {
        if (!isBlank(c) && c != '\r') compact += c;
    }
    return compact == kHeader;
}

bool isSkipped(std::string_view text) {
    const std::string_view content = trimmed(text);
    return content.empty() || content.front() == '#';
}

// The field as the nearest double: errc{} when it is a number and nothing else,
// result_out_of_range for a number beyond double's range, invalid_argument otherwise.
std::errc parseNumber(std::string_view field, double& parsed) {
    const std::string_view number = trimmed(field);
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), parsed);
    if (number.empty() || end != number.data() + number.size()) return std::errc::invalid_argument;
    return error;
}

// Whether the line holds eight numbers, whatever their values: a row, right or wrong.
bool isRowShaped(std::string_view text) {
    int fields = 0;
    for (std::size_t start = 0;; ++fields) {
        const std::size_t comma = text.find(',', start);
        double ignored = 0.0;
        const std::errc error = parseNumber(text.substr(start, comma - start), ignored);
        if (error != std::errc{} && error != std::errc::result_out_of_range) return false;
        if (comma == std::string_view::npos) return fields + 1 == kColumns;
        start = comma + 1;
    }
}

// One field as a float the way the scene file reads numbers: the nearest double, which must
// be finite, narrowed to float, which must be finite too.
bool readField(std::string_view field, float& value, std::string& what) {
    double parsed = 0.0;
    if (parseNumber(field, parsed) != std::errc{}) {
        what = "must be a number";
        return false;
    }
    if (!std::isfinite(parsed)) {
        what = "must be a finite number";
        return false;
    }
    value = float(parsed);
    if (!std::isfinite(value)) {
        what = "is too large for single precision (3.4e38)";
        return false;
    }
    return true;
}

// What a sphere's numbers cannot mean, as the [[sphere]] form refuses them; empty when fine.
std::string_view valueProblem(int column, float value) {
    if (column == 3 && !(value > 0.0f)) return "must be above 0";
    if (column >= 4 && column <= 6 && value < 0.0f) return "must not be negative";
    if (column == 7 && !(value >= 0.0f)) {
        return "must not be negative: 0 diffuse, up to 1 a mirror's share, above 1 glass's index";
    }
    return {};
}

std::string columnNamed(int column) {
    std::string text(1, '\'');
    text += kColumnNames[std::size_t(column)];
    text += '\'';
    return text;
}

bool readRow(const Line& line, Scene& scene, RowFault& fault) {
    std::array<float, kColumns> values{};
    std::size_t start = 0;
    for (int column = 0; column < kColumns; ++column) {
        const std::size_t comma = line.text.find(',', start);
        const bool last = column == kColumns - 1;
        if (!last && comma == std::string_view::npos) {
            fault = {line.number, int(line.text.size()) + 1,
                     "a row holds 8 numbers: " + std::string(kHeader)};
            return false;
        }
        const std::size_t end = last ? line.text.size() : comma;
        if (last && comma != std::string_view::npos) {
            fault = {line.number, int(comma) + 1, "a row holds 8 numbers: " + std::string(kHeader)};
            return false;
        }
        std::string what;
        float& value = values[std::size_t(column)];
        if (readField(line.text.substr(start, end - start), value, what)) {
            what = valueProblem(column, value);
        }
        if (!what.empty()) {
            fault = {line.number, int(start) + 1, columnNamed(column) + " " + what};
            return false;
        }
        start = end + 1;
    }
    if (scene.sphereCount >= scene.limits.spheres) {
        fault = {line.number, 1,
                 "more than " + std::to_string(scene.limits.spheres) +
                     " spheres, the most a scene holds"};
        return false;
    }
    scene.addSphere({values[0], values[1], values[2]}, values[3], {values[4], values[5], values[6]},
                    values[7]);
    return true;
}

}  // namespace

bool readSphereRows(std::string_view text, Scene& scene, RowFault& fault,
                    std::vector<int>& rowLines) {
    RowsProgress progress;
    return readSphereRowPiece(text, progress, scene, fault, rowLines);
}

bool readSphereRowPiece(std::string_view piece, RowsProgress& progress, Scene& scene,
                        RowFault& fault, std::vector<int>& rowLines) {
    // A spreadsheet's UTF-8 byte-order mark, at the start of the text.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (progress.line == 0 && piece.starts_with(kByteOrderMark)) {
        piece.remove_prefix(kByteOrderMark.size());
    }
    while (!piece.empty()) {
        const std::size_t newline = piece.find('\n');
        const Line line{piece.substr(0, newline), ++progress.line};
        piece.remove_prefix(newline == std::string_view::npos ? piece.size() : newline + 1);
        if (isSkipped(line.text)) continue;
        const bool header = progress.headerAllowed && isHeader(line.text);
        // Another header (a spreadsheet's own names) is no row with a wrong first number.
        if (progress.headerAllowed && !header && !isRowShaped(line.text)) {
            fault = {line.number, 1,
                     "line " + std::to_string(line.number) +
                         " is neither a row of 8 numbers nor the header " + std::string(kHeader)};
            return false;
        }
        progress.headerAllowed = false;
        if (header) continue;
        if (!readRow(line, scene, fault)) return false;
        rowLines.push_back(line.number);
    }
    return true;
}

}  // namespace lucentor
