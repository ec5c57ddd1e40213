#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "service/ProtobufReader.h"
#include "service/ProtobufWriter.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

namespace pb = zorv::protocols::pb;
namespace ds = vantis::protocols::desktop_service;
using Read = ProtobufReader::EReadResult;

class ProtobufFrameTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        RecentMemoryBufferChannel::Instance().Clear();
    }
    static bool logged(const std::string& text) {
        return RecentMemoryBufferChannel::Instance().getContents().find(text) != std::string::npos;
    }
    std::string receiveAll(size_t size) {
        std::string bytes(size, '\0');
        size_t received = 0;
        pair.server.setReceiveTimeout(Poco::Timespan(5, 0));
        while (received < size) {
            const int n = pair.server.receiveBytes(&bytes[received], static_cast<int>(size - received));
            if (n <= 0) break;
            received += static_cast<size_t>(n);
        }
        bytes.resize(received);
        return bytes;
    }
    Read read(unsigned timeoutSeconds = 5) { return reader.readWholePacket(header, content, timeoutSeconds); }

    VantisTest::LoopbackPair pair;
    ProtobufWriter writer{pair.client};
    ProtobufReader reader{pair.server};
    pb::Header header;
    std::vector<char> content;
};

TEST_F(ProtobufFrameTest, DirectoryPrivilegesRequestIsWrittenByteForByte) {
    ASSERT_TRUE(writer.sendFixDirectoryPrivilegesRequest(7, "/Applications/X.app"));
    const std::string expected = std::string("\x00\x0B", 2) +
                                 // sort 1, type 7, size 21, oseq 7, rseq (extension 100) 0
                                 std::string("\x08\x01\x10\x07\x18\x15\x20\x07\xA0\x06\x00", 11) +
                                 // directory (field 1): 19 bytes
                                 std::string("\x0A\x13") + "/Applications/X.app";
    EXPECT_EQ(expected, receiveAll(expected.size()));
    EXPECT_TRUE(logged("Sending message of type 7 [Sequence Number: 7], rseq 0 completed OK"));
}

TEST_F(ProtobufFrameTest, EveryWritersFrameReadsBack) {
    struct Case {
        const char* name;
        std::function<bool()> send;
        uint32_t type;
        int oseq;  // -1: absent
        uint32_t rseq;
        int code;  // -1: absent
        std::function<void()> checkPayload;
    };
    const Case cases[] = {
        {"library info request", [&] { return writer.sendLibraryInfoRequest(11); }, 1, 11, 0, -1,
         [&] { EXPECT_TRUE(content.empty()); }},
        {"library info request without oseq", [&] { return writer.sendLibraryInfoRequest(std::nullopt); }, 1, -1, 0, -1,
         [&] { EXPECT_TRUE(content.empty()); }},
        {"library info response", [&] { return writer.sendLibraryInfoResponse(12, "/home/u/.local/share/Vantis"); }, 2,
         -1, 12, pb::Response::OK,
         [&] {
             ds::LibraryInfoResponse message;
             ASSERT_TRUE(ProtobufReader::ParseLibraryInfoResponse(content, header, message));
             EXPECT_EQ("/home/u/.local/share/Vantis", message.location());
         }},
        {"auth info response", [&] { return writer.sendAuthInfoResponse(std::nullopt, "token"); }, 4, -1, 0,
         pb::Response::OK,
         [&] {
             ds::AuthInfoResponse message;
             ASSERT_TRUE(message.ParseFromArray(content.data(), static_cast<int>(content.size())));
             EXPECT_EQ("token", message.refresh_token());
         }},
        {"launch request", [&] { return writer.sendLaunchElevatedRequest(13, "/bin/x", "-a 'b c'", "/tmp", true); }, 5,
         13, 0, -1,
         [&] {
             ds::LaunchElevatedRequest message;
             ASSERT_TRUE(ProtobufReader::ParseLaunchElevatedRequest(content, header, message));
             EXPECT_EQ("/bin/x", message.process_path());
             EXPECT_EQ("-a 'b c'", message.command_line_args());
             EXPECT_EQ("/tmp", message.working_dir());
             EXPECT_TRUE(message.elevated());
         }},
        {"launch response", [&] { return writer.sendLaunchElevatedResponse(14, 4242); }, 6, -1, 14, pb::Response::OK,
         [&] {
             ds::LaunchElevatedResponse message;
             ASSERT_TRUE(ProtobufReader::ParseLaunchElevatedResponse(content, header, message));
             EXPECT_EQ(4242u, message.pid());
         }},
        {"privileges request", [&] { return writer.sendFixDirectoryPrivilegesRequest(15, "/games/z"); }, 7, 15, 0, -1,
         [&] {
             ds::FixDirectoryPrivilegesRequest message;
             ASSERT_TRUE(ProtobufReader::ParseFixDirectoryPrivilegesRequest(content, header, message));
             EXPECT_EQ("/games/z", message.directory());
         }},
        {"generic response",
         [&] { return writer.sendGenericResponse(VantisTest::RequestHeader(7, 16), pb::Response::FORBIDDEN); }, 8, -1,
         16, pb::Response::FORBIDDEN, [&] { EXPECT_TRUE(content.empty()); }},
        {"generic response to auth info",
         [&] { return writer.sendGenericResponse(VantisTest::RequestHeader(3, 17), pb::Response::NOT_IMPLEMENTED); }, 4,
         -1, 17, pb::Response::NOT_IMPLEMENTED, [&] { EXPECT_TRUE(content.empty()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.send());
        ASSERT_EQ(ProtobufReader::READ_COMPLETE, read());
        EXPECT_EQ(1u, header.sort());
        EXPECT_EQ(c.type, header.type());
        EXPECT_EQ(c.oseq >= 0, header.has_oseq());
        if (c.oseq >= 0) {
            EXPECT_EQ(static_cast<uint32_t>(c.oseq), header.oseq());
        }
        // Every frame carries rseq, 0 when it answers nothing.
        EXPECT_TRUE(header.HasExtension(pb::Response::rseq));
        EXPECT_EQ(c.rseq, header.GetExtension(pb::Response::rseq));
        EXPECT_EQ(c.code >= 0, header.HasExtension(pb::Response::code));
        if (c.code >= 0) {
            EXPECT_EQ(c.code, header.GetExtension(pb::Response::code));
        }
        EXPECT_FALSE(header.HasExtension(pb::Response::description));
        EXPECT_EQ(header.size(), content.size());
        c.checkPayload();
        EXPECT_FALSE(reader.hasData());
    }
}

TEST_F(ProtobufFrameTest, GenericResponseRefusesWhatIsNotARequest) {
    for (uint32_t type : {0u, 2u, 8u, 9u}) {
        EXPECT_FALSE(writer.sendGenericResponse(VantisTest::RequestHeader(type, 1), pb::Response::OK)) << type;
        EXPECT_TRUE(logged("Unknown header type during sendErrorReply: " + std::to_string(type))) << type;
    }
}

TEST_F(ProtobufFrameTest, FrameFedOneByteAtATimeCompletesOnItsLastByte) {
    const std::string frame = VantisTest::FrameBytes(VantisTest::RequestHeader(7, 3, 5), "\x0A\x03/ab");
    for (size_t i = 0; i + 1 < frame.size(); ++i) {
        VantisTest::SendAll(pair.client, frame.substr(i, 1));
        ASSERT_EQ(ProtobufReader::READ_INCOMPLETE, read()) << "byte " << i;
        EXPECT_TRUE(reader.hasData());
    }
    VantisTest::SendAll(pair.client, frame.substr(frame.size() - 1));
    ASSERT_EQ(ProtobufReader::READ_COMPLETE, read());
    EXPECT_EQ(3u, header.oseq());
    EXPECT_EQ(std::vector<char>({'\x0A', '\x03', '/', 'a', 'b'}), content);
    EXPECT_FALSE(reader.hasData());
}

TEST_F(ProtobufFrameTest, SecondFrameOfOneReceiveComesWithoutFurtherBytes) {
    VantisTest::SendAll(pair.client, VantisTest::FrameBytes(VantisTest::RequestHeader(1, 1)) +
                                         VantisTest::FrameBytes(VantisTest::RequestHeader(3, 2)));
    ASSERT_TRUE(
        VantisTest::WaitForBytes(pair.server, 2 * VantisTest::FrameBytes(VantisTest::RequestHeader(1, 1)).size()));
    ASSERT_EQ(ProtobufReader::READ_COMPLETE, read());
    EXPECT_EQ(1u, header.oseq());
    EXPECT_TRUE(reader.hasData());
    // Nothing more will arrive: the held frame must not wait for it.
    ASSERT_EQ(ProtobufReader::READ_COMPLETE, read(1));
    EXPECT_EQ(3u, header.type());
    EXPECT_EQ(2u, header.oseq());
    EXPECT_FALSE(reader.hasData());
}

TEST_F(ProtobufFrameTest, UnreadableFramesAreDroppedAndTheNextOneReads) {
    pb::Header huge = VantisTest::RequestHeader(7, 1);
    huge.set_size(0xFFFFFFFFu);
    const pb::Header justTooLong = VantisTest::HeaderForFrameOf(5001);
    struct Case {
        const char* name;
        std::string bytes;
        const char* warning;
    };
    const Case cases[] = {
        {"header that does not parse", std::string("\x00\x03\xFF\xFF\xFF", 5),
         "Parse error while reading message of size 3"},
        {"header missing required fields", std::string("\x00\x02\x18\x01", 4),
         "Parse error while reading message of size 2"},
        {"payload announced beyond any frame", VantisTest::FrameBytes(huge), "cannot fit in the receive buffer"},
        {"one byte more than a frame may hold", VantisTest::FrameBytes(justTooLong),
         "cannot fit in the receive buffer"},
        {"header longer than a frame may hold", std::string("\xFF\xFF\x08\x01", 4), "cannot fit in the receive buffer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecentMemoryBufferChannel::Instance().Clear();
        VantisTest::SendAll(pair.client, c.bytes);
        ASSERT_TRUE(VantisTest::WaitForBytes(pair.server, c.bytes.size()));
        EXPECT_EQ(ProtobufReader::READ_BAD_HEADER, read());
        EXPECT_FALSE(reader.hasData());
        EXPECT_TRUE(logged(c.warning));
        VantisTest::SendAll(pair.client, VantisTest::FrameBytes(VantisTest::RequestHeader(1, 9)));
        ASSERT_EQ(ProtobufReader::READ_COMPLETE, read());
        EXPECT_EQ(9u, header.oseq());
    }
}

TEST_F(ProtobufFrameTest, LargestFrameReadsWhole) {
    const pb::Header largest = VantisTest::HeaderForFrameOf(5000);
    ASSERT_EQ(5000u, VantisTest::FrameBytes(largest, std::string(largest.size(), 'x')).size());
    VantisTest::SendAll(pair.client, VantisTest::FrameBytes(largest, std::string(largest.size(), 'x')));
    Read result = ProtobufReader::READ_INCOMPLETE;
    while (result == ProtobufReader::READ_INCOMPLETE) result = read();
    ASSERT_EQ(ProtobufReader::READ_COMPLETE, result);
    EXPECT_EQ(largest.size(), content.size());
}

TEST_F(ProtobufFrameTest, WriterRefusesAFrameNoReaderCouldHold) {
    EXPECT_FALSE(writer.sendFixDirectoryPrivilegesRequest(1, "/" + std::string(5000, 'd')));
    EXPECT_TRUE(logged("error sending FixDirectoryPrivilegesRequest: "));
}

TEST_F(ProtobufFrameTest, PeerThatClosesOrStaysSilent) {
    EXPECT_EQ(ProtobufReader::READ_ERROR, read(1));
    EXPECT_TRUE(logged("Exception during ProtobufReader::readWholePacket: "));

    VantisTest::SendAll(pair.client, std::string("\x00\x0B\x08", 3));
    pair.client.close();
    Read result = read();
    if (result == ProtobufReader::READ_INCOMPLETE) result = read();
    EXPECT_EQ(ProtobufReader::READ_CLOSED, result);
    EXPECT_TRUE(logged("Connection closed by remote host"));
}

TEST_F(ProtobufFrameTest, PayloadChecksNameTheMessage) {
    struct Case {
        const char* name;
        uint32_t announced;
        std::string content;
        const char* warning;
    };
    const Case cases[] = {
        {"no payload", 0, "", "Failed parsing FixDirectoryPrivilegesRequest because header.size()==0"},
        {"short payload", 5, "\x0A\x03",
         "Failed parsing FixDirectoryPrivilegesRequest because header.size()==5 and contentBuffer.size()==2"},
        {"required field missing", 2, std::string("\x12\x00", 2), "Failed parsing FixDirectoryPrivilegesRequest\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecentMemoryBufferChannel::Instance().Clear();
        pb::Header announced = VantisTest::RequestHeader(7, 1, c.announced);
        std::vector<char> bytes(c.content.begin(), c.content.end());
        ds::FixDirectoryPrivilegesRequest message;
        EXPECT_FALSE(ProtobufReader::ParseFixDirectoryPrivilegesRequest(bytes, announced, message));
        EXPECT_TRUE(logged(c.warning));
    }
}

}  // namespace
