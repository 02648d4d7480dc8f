#include "tests/unit/compress/reference_coder.h"

#include <string.h>

#include "compress/block_stream.h"
#include "compress/lzhuf.h"

namespace {

const int N = 4096, F = 60, NIL = 4096, NCHAR = 314, T = 627, R = 626;

struct Model {
    unsigned weight[T + 1];
    int child[T];
    int parent[T + NCHAR];

    Model() {
        for (int s = 0; s < NCHAR; ++s) {
            weight[s] = 1;
            child[s] = s + T;
            parent[s + T] = s;
        }
        for (int i = 0, j = NCHAR; j <= R; i += 2, ++j) {
            weight[j] = weight[i] + weight[i + 1];
            child[j] = i;
            parent[i] = parent[i + 1] = j;
        }
        weight[T] = 0xFFFF;
        parent[R] = 0;
    }

    void Rebuild() {
        int j = 0;
        for (int i = 0; i < T; ++i) {
            if (child[i] >= T) {
                weight[j] = (weight[i] + 1) / 2;
                child[j] = child[i];
                ++j;
            }
        }
        for (int i = 0, n = NCHAR; n < T; i += 2, ++n) {
            unsigned f = weight[i] + weight[i + 1];
            weight[n] = f;
            int k = n - 1;
            while (f < weight[k])
                --k;
            ++k;
            for (int m = n; m > k; --m) {
                weight[m] = weight[m - 1];
                child[m] = child[m - 1];
            }
            weight[k] = f;
            child[k] = i;
        }
        for (int i = 0; i < T; ++i) {
            int k = child[i];
            if (k >= T) {
                parent[k] = i;
            } else {
                parent[k] = parent[k + 1] = i;
            }
        }
    }

    void Update(int s) {
        if (weight[R] == 0x8000) Rebuild();
        int c = parent[s + T];
        do {
            unsigned k = ++weight[c];
            if (k > weight[c + 1]) {
                int l = c + 1;
                while (k > weight[l + 1])
                    ++l;
                weight[c] = weight[l];
                weight[l] = k;
                int i = child[c];
                parent[i] = l;
                if (i < T) parent[i + 1] = l;
                int j = child[l];
                child[l] = i;
                parent[j] = c;
                if (j < T) parent[j + 1] = c;
                child[c] = j;
                c = l;
            }
            c = parent[c];
        } while (c != 0);
    }
};

int DistanceBits(int u) {
    return u == 0 ? 3 : u < 4 ? 4 : u < 12 ? 5 : u < 24 ? 6 : u < 48 ? 7 : 8;
}

int DistanceCode(int u) {
    int code = 0;
    for (int i = 0; i < u; ++i)
        code += 1 << (8 - DistanceBits(i));
    return code;
}

struct BitWriter {
    Bytes out;
    int used = 8;
    void Put(int bit) {
        if (used == 8) {
            out.push_back(0);
            used = 0;
        }
        if (bit) out.back() |= 0x80 >> used;
        ++used;
    }
};

struct Encoder {
    unsigned char ring[N + F - 1] = {};
    int left[N + 1], up[N + 1], right[N + 257];
    int best_length = 0, best_distance = 0;
    Model model;
    BitWriter bits;
    std::vector<Token>* tokens = nullptr;
    int longest_code = 0;

    void Insert(int r) {
        int cmp = 1, p = N + 1 + ring[r];
        right[r] = left[r] = NIL;
        best_length = 0;
        for (;;) {
            if (cmp >= 0) {
                if (right[p] == NIL) {
                    right[p] = r;
                    up[r] = p;
                    return;
                }
                p = right[p];
            } else {
                if (left[p] == NIL) {
                    left[p] = r;
                    up[r] = p;
                    return;
                }
                p = left[p];
            }
            int i = 1;
            for (; i < F; ++i) {
                cmp = ring[r + i] - ring[p + i];
                if (cmp != 0) break;
            }
            if (i > 2) {
                int d = ((r - p) & (N - 1)) - 1;
                if (i > best_length) {
                    best_distance = d;
                    best_length = i;
                    if (i >= F) break;
                }
                if (i == best_length && d < best_distance) best_distance = d;
            }
        }
        up[r] = up[p];
        left[r] = left[p];
        right[r] = right[p];
        up[left[p]] = r;
        up[right[p]] = r;
        if (right[up[p]] == p) {
            right[up[p]] = r;
        } else {
            left[up[p]] = r;
        }
        up[p] = NIL;
    }

    void Delete(int p) {
        if (up[p] == NIL) return;
        int q;
        if (right[p] == NIL) {
            q = left[p];
        } else if (left[p] == NIL) {
            q = right[p];
        } else {
            q = left[p];
            if (right[q] != NIL) {
                do
                    q = right[q];
                while (right[q] != NIL);
                right[up[q]] = left[q];
                up[left[q]] = up[q];
                left[q] = left[p];
                up[left[p]] = q;
            }
            right[q] = right[p];
            up[right[p]] = q;
        }
        up[q] = up[p];
        if (right[up[p]] == p) {
            right[up[p]] = q;
        } else {
            left[up[p]] = q;
        }
        up[p] = NIL;
    }

    void Symbol(int s) {
        std::vector<int> path;
        for (int node = model.parent[s + T]; node != R; node = model.parent[node]) {
            path.push_back(node & 1);
        }
        for (size_t i = path.size(); i-- > 0;)
            bits.Put(path[i]);
        if (static_cast<int>(path.size()) > longest_code)
            longest_code = static_cast<int>(path.size());
        model.Update(s);
    }

    void Distance(int d) {
        int u = d >> 6, n = DistanceBits(u), code = DistanceCode(u);
        for (int i = 0; i < n; ++i)
            bits.Put((code >> (7 - i)) & 1);
        for (int i = 5; i >= 0; --i)
            bits.Put((d >> i) & 1);
    }

    Bytes Run(const Bytes& input) {
        if (input.empty()) return {};
        for (int i = N + 1; i <= N + 256; ++i)
            right[i] = NIL;
        for (int i = 0; i < N; ++i)
            up[i] = NIL;
        size_t next = 0;
        auto get = [&]() { return next < input.size() ? int(input[next++]) : -1; };
        for (int i = 0; i < N - F; ++i)
            ring[i] = ' ';
        int s = 0, r = N - F, len = 0, c;
        while (len < F && (c = get()) != -1)
            ring[r + len++] = static_cast<unsigned char>(c);
        for (int i = 1; i <= F; ++i)
            Insert(r - i);
        Insert(r);
        while (len > 0) {
            if (best_length > len) best_length = len;
            if (best_length <= 2) {
                best_length = 1;
                if (tokens) tokens->push_back(Literal(ring[r]));
                Symbol(ring[r]);
            } else {
                if (tokens) tokens->push_back(Match(best_length, best_distance));
                Symbol(253 + best_length);
                Distance(best_distance);
            }
            int last = best_length, i = 0;
            while (i < last && (c = get()) != -1) {
                Delete(s);
                ring[s] = static_cast<unsigned char>(c);
                if (s < F - 1) ring[s + N] = static_cast<unsigned char>(c);
                s = (s + 1) & (N - 1);
                r = (r + 1) & (N - 1);
                Insert(r);
                ++i;
            }
            while (i < last) {
                ++i;
                Delete(s);
                s = (s + 1) & (N - 1);
                r = (r + 1) & (N - 1);
                if (--len) Insert(r);
            }
        }
        return bits.out;
    }
};

}  // namespace

Bytes EncodeTokens(const std::vector<Token>& tokens, int* longest_code) {
    std::vector<Encoder> holder(1);
    Encoder& coder = holder[0];
    for (const Token& token : tokens) {
        coder.Symbol(token.symbol);
        if (token.symbol >= 256) coder.Distance(token.distance);
    }
    if (longest_code) *longest_code = coder.longest_code;
    return coder.bits.out;
}

uint32_t TokensSize(const std::vector<Token>& tokens) {
    uint32_t size = 0;
    for (const Token& token : tokens)
        size += token.symbol < 256 ? 1 : token.symbol - 253;
    return size;
}

// The ring as the runs of one process leave it: positions 4,036 on and the copy area are not
// set by a run and keep what the previous one left.
static unsigned char process_ring[N + F - 1];

void ReferenceProcessStart() {
    memset(process_ring, 0, sizeof process_ring);
}

Bytes ReferenceEncodeInProcess(const Bytes& input) {
    std::vector<Encoder> holder(1);
    memcpy(holder[0].ring, process_ring, sizeof process_ring);
    Bytes bits = holder[0].Run(input);
    memcpy(process_ring, holder[0].ring, sizeof process_ring);
    return bits;
}

void ReferenceDecodedInProcess(const Bytes& output) {
    if (output.empty()) return;
    memset(process_ring, ' ', N - F);
    for (size_t k = 0; k < output.size(); ++k)
        process_ring[(N - F + k) & (N - 1)] = output[k];
}

Bytes ReferenceEncode(const Bytes& input, std::vector<Token>* tokens, int* longest_code) {
    std::vector<Encoder> holder(1);  // too large for the stack of a test thread
    holder[0].tokens = tokens;
    Bytes bits = holder[0].Run(input);
    if (longest_code) *longest_code = holder[0].longest_code;
    return bits;
}

namespace {

// The decoder, one bit at a time through a 16-bit window topped up a byte at a time before every
// read. `get` gives the next byte of the bit stream (0 past its end), `put` takes each output
// byte, and `more` says whether another symbol is decoded.
template <typename Get, typename Put, typename More>
void DecodeSymbols(Get get, Put put, More more) {
    std::vector<Model> holder(1);
    Model& model = holder[0];
    unsigned window = 0, held = 0;
    auto fill = [&]() {
        while (held <= 8) {
            window = (window | (get() << (8 - held))) & 0xFFFF;
            held += 8;
        }
    };
    auto bit = [&]() {
        fill();
        int b = window >> 15;
        window = (window << 1) & 0xFFFF;
        --held;
        return b;
    };
    auto byte = [&]() {
        fill();
        int b = window >> 8;
        window = (window << 8) & 0xFFFF;
        held -= 8;
        return b;
    };
    int decode_upper[256], decode_bits[256];
    for (int u = 0, code = 0; u < 64; ++u) {
        for (int i = 0; i < 1 << (8 - DistanceBits(u)); ++i) {
            decode_upper[code + i] = u;
            decode_bits[code + i] = DistanceBits(u);
        }
        code += 1 << (8 - DistanceBits(u));
    }
    // Positions from 4,036 on are not set by a run: before the first run of a process they hold
    // zeros.
    unsigned char ring[N] = {};
    memset(ring, ' ', N - F);
    int r = N - F;
    while (more()) {
        int c = model.child[R];
        while (c < T)
            c = model.child[c + bit()];
        c -= T;
        model.Update(c);
        if (c < 256) {
            put(static_cast<uint8_t>(c));
            ring[r] = static_cast<unsigned char>(c);
            r = (r + 1) & (N - 1);
            continue;
        }
        int i = byte();
        const int upper = decode_upper[i];
        for (int n = decode_bits[i] - 2; n > 0; --n)
            i = (i << 1) + bit();
        const int start = (r - ((upper << 6) | (i & 0x3F)) - 1) & (N - 1);
        for (int k = 0; k < c - 253; ++k) {
            unsigned char b = ring[(start + k) & (N - 1)];
            put(b);
            ring[r] = b;
            r = (r + 1) & (N - 1);
        }
    }
}

}  // namespace

Bytes ReferenceDecode(const Bytes& bits, uint32_t size, size_t fail_at) {
    size_t requested = 0;
    bool failed = false;
    Bytes out;
    DecodeSymbols(
        [&]() {
            int b = 0;
            if (requested == fail_at) failed = true;
            if (!failed && requested < bits.size()) b = bits[requested];
            ++requested;
            return b;
        },
        [&](uint8_t b) { out.push_back(b); }, [&]() { return out.size() < size && !failed; });
    return out;
}

void ReferenceDecodeInStream() {
    target_size = static_cast<uint32_t>(ReadOriginalSize());
    uint32_t count = 0;
    DecodeSymbols(
        []() {
            const int b = BlockGetByte();
            return b < 0 ? 0 : b;
        },
        [&](uint8_t b) {
            BlockPutByte(b);
            ++count;
        },
        [&]() { return count < target_size; });
}

static void AppendBlock(Bytes* out, const uint8_t* payload, size_t count) {
    uint32_t sum = 0x68A5;
    for (size_t i = 0; i < count; ++i)
        sum += payload[i];
    const uint32_t length = static_cast<uint32_t>(count + 6);
    const uint8_t header[6] = {
        0x52, 0x43, uint8_t(sum), uint8_t(sum >> 8), uint8_t(length), uint8_t(length >> 8)};
    out->insert(out->end(), header, header + 6);
    out->insert(out->end(), payload, payload + count);
}

Bytes FrameBlocks(uint32_t original_size, const Bytes& coder_output) {
    Bytes out;
    const uint8_t size[4] = {uint8_t(original_size), uint8_t(original_size >> 8),
                             uint8_t(original_size >> 16), uint8_t(original_size >> 24)};
    AppendBlock(&out, size, 4);
    size_t at = 0;
    while (coder_output.size() - at >= 10234) {
        AppendBlock(&out, coder_output.data() + at, 10234);
        at += 10234;
    }
    AppendBlock(&out, coder_output.data() + at, coder_output.size() - at);
    return out;
}

std::vector<uint32_t> BlockLengths(const Bytes& stream) {
    std::vector<uint32_t> lengths;
    size_t at = 0;
    while (at < stream.size()) {
        if (stream.size() - at < 6) return {};
        const uint32_t length = stream[at + 4] | (stream[at + 5] << 8);
        if (length < 6 || at + length > stream.size()) return {};
        lengths.push_back(length);
        at += length;
    }
    return lengths;
}
