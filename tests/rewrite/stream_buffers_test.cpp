// The in-memory windows against the plainest possible model of a seekable
// input and a seekable work file: a byte string with a position each. Long
// random sequences of reads, moves back and writes must give the same bytes,
// whatever the block size and look-back, including moves back far beyond the
// look-back and sources that hand out fewer bytes than asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "rewrite/stream_buffers.h"

namespace zorbel {
namespace {

// Hands out at most a random few bytes per read, as a pipe or a slow disk may.
class ChoppySource : public ByteSource {
public:
    ChoppySource(std::string data, unsigned seed) : data_(std::move(data)), rng_(seed) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override {
        if (offset >= data_.size()) return 0;
        std::size_t take = std::min<std::size_t>({n, data_.size() - offset, 1 + rng_() % 5});
        std::copy_n(data_.data() + offset, take, buf);
        return static_cast<long>(take);
    }

private:
    std::string data_;
    std::mt19937 rng_;
};

// A source whose bytes from fail_at on cannot be read.
class FailingSource : public ByteSource {
public:
    FailingSource(std::string data, std::uint64_t fail_at) : data_(std::move(data)), fail_at_(fail_at) {}
    long read_at(std::uint64_t offset, unsigned char* buf, std::size_t n) override {
        if (offset >= fail_at_) return -1;
        std::size_t take = std::min<std::size_t>(n, std::min<std::uint64_t>(data_.size(), fail_at_) - offset);
        std::copy_n(data_.data() + offset, take, buf);
        return static_cast<long>(take);
    }

private:
    std::string data_;
    std::uint64_t fail_at_;
};

struct Model {
    std::string input;
    std::size_t in_pos = 0;
    std::string file;
    std::size_t out_pos = 0;

    int get() { return in_pos < input.size() ? static_cast<unsigned char>(input[in_pos++]) : -1; }
    void put(char c) {
        if (out_pos == file.size()) file.push_back(c);
        else file[out_pos] = c;
        ++out_pos;
    }
};

std::string random_bytes(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng() % 256);
    return s;
}

void run_sequence(unsigned seed, std::size_t block_size, std::size_t look_back, bool choppy) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", block " + std::to_string(block_size) + ", look-back " +
                 std::to_string(look_back) + (choppy ? ", choppy source" : ""));
    std::mt19937 rng(seed);
    Model model;
    model.input = random_bytes(rng, 200 + rng() % 3000);
    StringSource plain(model.input);
    ChoppySource chopped(model.input, seed);
    ByteSource& source = choppy ? static_cast<ByteSource&>(chopped) : plain;
    StringSink sink;
    InputWindow in(source, block_size, look_back);
    WorkWindow out(sink, block_size, look_back);

    for (int step = 0; step < 20000; ++step) {
        unsigned op = rng() % 100;
        if (op < 45) {
            int expected = model.get();
            ASSERT_EQ(in.get(), expected) << "read at step " << step;
        } else if (op < 55) {
            // Mostly short moves back, now and then one far beyond the look-back.
            std::size_t limit = rng() % 10 == 0 ? model.in_pos : std::min<std::size_t>(model.in_pos, 40);
            std::size_t n = limit == 0 ? 0 : rng() % (limit + 1);
            model.in_pos -= n;
            in.unget(n);
        } else if (op < 80) {
            char c = static_cast<char>(rng() % 256);
            model.put(c);
            out.put(static_cast<unsigned char>(c));
        } else if (op < 88) {
            std::string text = random_bytes(rng, rng() % 12);
            for (char c : text) model.put(c);
            out.write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
        } else {
            std::size_t limit = rng() % 10 == 0 ? model.out_pos : std::min<std::size_t>(model.out_pos, 40);
            std::size_t n = limit == 0 ? 0 : rng() % (limit + 1);
            model.out_pos -= n;
            out.move_back(n);
        }
        ASSERT_EQ(in.position(), model.in_pos);
        ASSERT_EQ(out.position(), model.out_pos);
        ASSERT_EQ(out.length(), model.file.size());
    }
    EXPECT_FALSE(in.failed());

    // The whole file, stale bytes behind the position included, then the
    // same file cut at the final write position.
    out.flush_all();
    ASSERT_FALSE(out.failed());
    EXPECT_EQ(sink.data, model.file);
    out.finish_at_position();
    EXPECT_FALSE(out.failed());
    EXPECT_EQ(sink.data, model.file.substr(0, model.out_pos));
}

TEST(StreamWindows, MatchModelOverRandomSequences) {
    unsigned seed = 1;
    for (std::size_t block : {1, 2, 3, 7, 64, 65536}) {
        for (std::size_t look_back : {0, 1, 5, 64, 1024}) {
            run_sequence(seed++, block, look_back, false);
            run_sequence(seed++, block, look_back, true);
        }
    }
}

TEST(StreamWindows, CutWithoutFlushDropsStaleTail) {
    // Write far past the look-back, move back into bytes already handed to
    // the sink, write a little, and cut there.
    for (std::size_t block : {1, 3, 64}) {
        StringSink sink;
        WorkWindow out(sink, block, 4);
        std::string text(300, 'x');
        out.write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
        out.move_back(250);
        out.put('y');
        out.finish_at_position();
        EXPECT_FALSE(out.failed());
        EXPECT_EQ(sink.data, std::string(50, 'x') + "y") << "block " << block;
    }
}

TEST(StreamWindows, ReadErrorEndsInputAndIsKept) {
    FailingSource source("abcdefgh", 5);
    InputWindow in(source, 2, 16);
    std::string got;
    for (int c; (c = in.get()) >= 0;) got.push_back(static_cast<char>(c));
    EXPECT_EQ(got, "abcde");
    EXPECT_TRUE(in.failed());
    EXPECT_EQ(in.get(), -1);
    // What was read can still be read again.
    in.unget(2);
    EXPECT_EQ(in.get(), 'd');
}

}  // namespace
}  // namespace zorbel
