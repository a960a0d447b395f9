#pragma once
// Unpacks a body sent with a Content-Encoding as Chrome accepts them (gzip,
// deflate, br, zstd, or none) into a buffer of the caller's as the pieces
// arrive: the client unpacks pages itself, into memory it keeps from page to
// page, where Qt would unpack each piece into fresh memory of its own.
#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace larkspire {

// What the client says it accepts, in Chrome's words.
inline constexpr char kAcceptedEncodings[] = "gzip, deflate, br, zstd";

class BodyInflater final {
public:
    enum class Result { Ok, Damaged, TooLarge };

    BodyInflater();
    ~BodyInflater();
    BodyInflater(const BodyInflater&) = delete;
    BodyInflater& operator=(const BodyInflater&) = delete;

    // A new body in this encoding (letter case and blanks aside; empty or
    // "identity" for none); false for one it cannot unpack.
    bool start(QByteArrayView contentEncoding);
    // Appends what `in` unpacks to at the end of `out`, whose memory is
    // grown (geometrically) only when it is too small; never beyond `limit`
    // bytes (TooLarge).
    Result feed(QByteArrayView in, QByteArray& out, qsizetype limit);
    // Whether the compressed stream came to its end (always so for none).
    bool complete() const;
    // No encoding: the bytes are the body.
    bool passesThrough() const;

private:
    // One call of the decoder: what it took and what it gave.
    struct Step {
        size_t used = 0;
        size_t produced = 0;
        bool failed = false;
    };
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace larkspire
