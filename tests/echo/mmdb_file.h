// A small city-level .mmdb file made for the tests: one IPv4 network with a record of city,
// region (only an English name) and country names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace nicops::testing {

class MmdbFile {
public:
    // The network 198.51.100.0/24 → {city: 深圳/Shenzhen, subdivisions: [Guangdong],
    // country: 中国/China}.
    static std::string cityDatabase() {
        MmdbFile data;
        data.map(3);
        data.text("city");
        data.map(1);
        data.text("names");
        data.map(2);
        data.text("en");
        data.text("Shenzhen");
        data.text("zh-CN");
        data.text(utf8(u8"深圳"));
        data.text("subdivisions");
        data.array(1);
        data.map(1);
        data.text("names");
        data.map(1);
        data.text("en");
        data.text("Guangdong");
        data.text("country");
        data.map(1);
        data.text("names");
        data.map(2);
        data.text("en");
        data.text("China");
        data.text("zh-CN");
        data.text(utf8(u8"中国"));

        const std::uint32_t network = 0xC6336400;  // 198.51.100.0
        const int prefix = 24;
        const auto nodeCount = static_cast<std::uint32_t>(prefix);
        std::string out;
        const auto record = [&](std::uint32_t v) {
            out.push_back(static_cast<char>(v >> 16 & 0xFF));
            out.push_back(static_cast<char>(v >> 8 & 0xFF));
            out.push_back(static_cast<char>(v & 0xFF));
        };
        for (int i = 0; i < prefix; ++i) {
            const bool bit = (network >> (31 - i)) & 1;
            const std::uint32_t next = i + 1 < prefix ? static_cast<std::uint32_t>(i + 1)
                                                      : nodeCount + 16;  // the data record
            record(bit ? nodeCount : next);
            record(bit ? next : nodeCount);
        }
        out += std::string(16, '\0');
        out += data.bytes_;

        MmdbFile meta;
        meta.map(9);
        meta.text("node_count");
        meta.unsigned32(nodeCount);
        meta.text("record_size");
        meta.unsigned16(24);
        meta.text("ip_version");
        meta.unsigned16(4);
        meta.text("database_type");
        meta.text("nicops-test-City");
        meta.text("languages");
        meta.array(2);
        meta.text("en");
        meta.text("zh-CN");
        meta.text("binary_format_major_version");
        meta.unsigned16(2);
        meta.text("binary_format_minor_version");
        meta.unsigned16(0);
        meta.text("build_epoch");
        meta.unsigned64(1700000000);
        meta.text("description");
        meta.map(1);
        meta.text("en");
        meta.text("nicops test");
        out += "\xAB\xCD\xEFMaxMind.com";
        out += meta.bytes_;
        return out;
    }

private:
    void control(int type, std::size_t size) {
        if (type <= 7) {
            bytes_.push_back(static_cast<char>(type << 5 | static_cast<int>(size)));
        } else {
            bytes_.push_back(static_cast<char>(size));
            bytes_.push_back(static_cast<char>(type - 7));
        }
    }
    void text(const std::string& s) {
        control(2, s.size());  // (all shorter than 29 bytes)
        bytes_ += s;
    }
    void map(std::size_t n) { control(7, n); }
    void array(std::size_t n) { control(11, n); }
    void number(int type, std::uint64_t v, int width) {
        control(type, static_cast<std::size_t>(width));
        for (int i = width - 1; i >= 0; --i) {
            bytes_.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
        }
    }
    void unsigned16(std::uint16_t v) { number(5, v, 2); }
    void unsigned32(std::uint32_t v) { number(6, v, 4); }
    void unsigned64(std::uint64_t v) { number(9, v, 8); }

    std::string bytes_;
};

}  // namespace nicops::testing
