#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "common/TransferRate.h"

using VantisClient::TransferRate;

TEST(TransferRate, RatesAreBytesWithBinarySuffixes) {
    const struct {
        const char* text;
        uint32_t bytes;
    } cases[] = {
        {"20000", 20000},      {"500K", 512000},    {"500k", 512000},     {"20M", 20971520},
        {"1G", 1073741824},    {"1.5M", 1572864},   {"0.5K", 512},        {"4095M", 4293918720u},
        {"0", 0},              {"0K", 0},           {"1", 1},             {"007", 7},
    };
    for (const auto& c : cases) {
        uint32_t bytes = 12345;
        std::string error;
        EXPECT_TRUE(TransferRate::Parse(c.text, bytes, error)) << c.text << ": " << error;
        EXPECT_EQ(c.bytes, bytes) << c.text;
    }
}

TEST(TransferRate, WhatIsNoRateIsRefusedWithWhatWasWrong) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"", "like 500K"},          {"K", "like 500K"},        {"20MB", "like 500K"},     {"20T", "like 500K"},
        {"-5K", "like 500K"},       {"1e3", "like 500K"},      {"1.", "like 500K"},       {".5K", "like 500K"},
        {"1.2345M", "like 500K"},   {" 5K", "like 500K"},      {"5 K", "like 500K"},      {"99999999999", "like 500K"},
        {"4G", "too high"},         {"4096M", "too high"},     {"4294967296", "too high"}, {"0.1", "below 1 byte"},
    };
    for (const auto& c : cases) {
        uint32_t bytes = 12345;
        std::string error;
        EXPECT_FALSE(TransferRate::Parse(c.text, bytes, error)) << c.text;
        EXPECT_NE(std::string::npos, error.find(c.says)) << c.text << ": " << error;
        EXPECT_EQ(12345u, bytes) << c.text;
    }
}
