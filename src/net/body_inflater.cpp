#include "net/body_inflater.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>

namespace larkspire {

namespace {

enum class Kind { None, Gzip, Deflate, Brotli, Zstd };

// Room for at least this much more at the end of `out` (its size not
// changed); false when that would pass the limit.
bool makeRoom(QByteArray& out, qsizetype limit)
{
    constexpr qsizetype kStep = 64 * 1024;
    if (out.capacity() - out.size() >= kStep)
        return true;
    if (out.size() >= limit)
        return false;
    out.reserve(std::min(limit, std::max(out.capacity() * 2, out.size() + 4 * kStep)));
    return true;
}

} // namespace

struct BodyInflater::State {
    Kind kind = Kind::None;
    bool complete = true;
    bool zlibOpen = false;
    QByteArray deflateHead; // deflate's first two bytes, until they say whether a zlib wrapper is there
    QByteArray afterMember; // gzip: the first two bytes after a member, until they say whether another follows
    bool restIgnored = false; // gzip: what followed the last member was no member: nothing after it is read
    z_stream zlib{};
    BrotliDecoderState* brotli = nullptr;
    ZSTD_DStream* zstd = nullptr;

    ~State() { close(); }
    void close()
    {
        if (zlibOpen)
            inflateEnd(&zlib);
        zlibOpen = false;
        if (brotli)
            BrotliDecoderDestroyInstance(brotli);
        brotli = nullptr;
        if (zstd)
            ZSTD_freeDStream(zstd);
        zstd = nullptr;
    }
    Step run(const uint8_t* next, size_t left, uint8_t* dest, size_t room);
    bool openZlib(int windowBits)
    {
        if (zlibOpen)
            inflateEnd(&zlib);
        zlib = z_stream{};
        zlibOpen = inflateInit2(&zlib, windowBits) == Z_OK;
        return zlibOpen;
    }
};

BodyInflater::BodyInflater() : m_state(std::make_unique<State>()) {}
BodyInflater::~BodyInflater() = default;

bool BodyInflater::start(QByteArrayView contentEncoding)
{
    State& s = *m_state;
    s.close();
    s.deflateHead.clear();
    const QByteArray name = contentEncoding.toByteArray().trimmed().toLower();
    s.complete = false;
    if (name.isEmpty() || name == "identity") {
        s.kind = Kind::None;
        s.complete = true;
        return true;
    }
    if (name == "gzip" || name == "x-gzip") {
        s.kind = Kind::Gzip;
        return s.openZlib(15 + 16);
    }
    if (name == "deflate") {
        s.kind = Kind::Deflate;
        return true; // opened once its first two bytes are in
    }
    if (name == "br") {
        s.kind = Kind::Brotli;
        s.brotli = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
        return s.brotli != nullptr;
    }
    if (name == "zstd") {
        s.kind = Kind::Zstd;
        s.zstd = ZSTD_createDStream();
        return s.zstd && !ZSTD_isError(ZSTD_initDStream(s.zstd));
    }
    return false;
}

bool BodyInflater::complete() const { return m_state->complete; }
bool BodyInflater::passesThrough() const { return m_state->kind == Kind::None; }

BodyInflater::Step BodyInflater::State::run(const uint8_t* next, size_t left, uint8_t* dest, size_t room)
{
    Step step;
    switch (kind) {
    case Kind::Gzip:
    case Kind::Deflate: {
        zlib.next_in = const_cast<Bytef*>(next);
        zlib.avail_in = uInt(std::min<size_t>(left, 1u << 30));
        zlib.next_out = dest;
        zlib.avail_out = uInt(room);
        const uInt given = zlib.avail_in;
        const int rc = inflate(&zlib, Z_NO_FLUSH);
        step.used = given - zlib.avail_in;
        step.produced = room - zlib.avail_out;
        step.failed = rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR;
        complete = rc == Z_STREAM_END;
        break;
    }
    case Kind::Brotli: {
        size_t availIn = left, availOut = room;
        const uint8_t* inPtr = next;
        uint8_t* outPtr = dest;
        const BrotliDecoderResult rc = BrotliDecoderDecompressStream(brotli, &availIn, &inPtr, &availOut, &outPtr, nullptr);
        step.used = left - availIn;
        step.produced = room - availOut;
        step.failed = rc == BROTLI_DECODER_RESULT_ERROR;
        complete = rc == BROTLI_DECODER_RESULT_SUCCESS;
        break;
    }
    case Kind::Zstd: {
        ZSTD_inBuffer input{next, left, 0};
        ZSTD_outBuffer output{dest, room, 0};
        const size_t rc = ZSTD_decompressStream(zstd, &output, &input);
        step.used = input.pos;
        step.produced = output.pos;
        step.failed = ZSTD_isError(rc);
        complete = !step.failed && rc == 0;
        break;
    }
    case Kind::None:
        break;
    }
    return step;
}

BodyInflater::Result BodyInflater::feed(QByteArrayView in, QByteArray& out, qsizetype limit)
{
    State& s = *m_state;
    if (s.kind == Kind::None) {
        if (out.size() + in.size() > limit)
            return Result::TooLarge;
        out.append(in.data(), in.size());
        return Result::Ok;
    }
    if (s.kind == Kind::Deflate && !s.zlibOpen) {
        // Some servers send raw deflate without the zlib wrapper; browsers
        // take both, told apart by the wrapper's two-byte header.
        const qsizetype take = std::min<qsizetype>(2 - s.deflateHead.size(), in.size());
        s.deflateHead.append(in.data(), take);
        in = in.sliced(take);
        if (s.deflateHead.size() < 2)
            return Result::Ok;
        const auto b0 = uint8_t(s.deflateHead[0]), b1 = uint8_t(s.deflateHead[1]);
        const bool wrapped = (b0 & 0x0F) == 8 && (b0 >> 4) <= 7 && ((b0 << 8) | b1) % 31 == 0;
        if (!s.openZlib(wrapped ? 15 : -15))
            return Result::Damaged;
        const QByteArray head = s.deflateHead;
        if (const Result r = feed(head, out, limit); r != Result::Ok)
            return r;
    }
    const auto* next = reinterpret_cast<const uint8_t*>(in.data());
    size_t left = size_t(in.size());
    for (;;) {
        if (s.complete) {
            if (left == 0 || s.restIgnored)
                return Result::Ok;
            if (s.kind == Kind::Zstd) { // the next frame
                s.complete = false;
            } else if (s.kind != Kind::Gzip) {
                return Result::Damaged;
            } else {
                // Another member, or bytes that are none and are ignored as
                // gzip ignores them: decided once from the two bytes after
                // the member, however the network split them.
                const size_t take = std::min<size_t>(2 - size_t(s.afterMember.size()), left);
                s.afterMember.append(reinterpret_cast<const char*>(next), qsizetype(take));
                next += take;
                left -= take;
                if (s.afterMember.size() < 2)
                    return Result::Ok;
                const QByteArray head = std::exchange(s.afterMember, QByteArray());
                if (uint8_t(head[0]) != 0x1f || uint8_t(head[1]) != 0x8b || inflateReset(&s.zlib) != Z_OK) {
                    s.restIgnored = true;
                    return Result::Ok;
                }
                s.complete = false;
                if (const Result r = feed(head, out, limit); r != Result::Ok)
                    return r;
                continue;
            }
        }
        if (!makeRoom(out, limit))
            return Result::TooLarge;
        const qsizetype at = out.size();
        const qsizetype room = std::min(out.capacity(), limit) - at;
        out.resize(at + room);
        const Step step = s.run(next, left, reinterpret_cast<uint8_t*>(out.data() + at), size_t(room));
        next += step.used;
        left -= step.used;
        out.resize(at + qsizetype(step.produced));
        if (step.failed)
            return Result::Damaged;
        // All of the piece taken and the room not filled: the rest comes
        // with the next piece. No progress at all: the same.
        if (!s.complete && ((left == 0 && step.produced < size_t(room)) || (step.used == 0 && step.produced == 0)))
            return Result::Ok;
    }
}

} // namespace larkspire
