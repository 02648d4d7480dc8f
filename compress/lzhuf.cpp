// LZHUF coder: LZSS matching over a 4,096-byte ring with binary search trees, and adaptive
// Huffman coding of literals and match lengths. The bit stream is fixed by the streams already in
// the field: every choice below (search order, tie-breaks, model updates and rebuilds) decides
// output bits and must not change. The speed comes from doing the same work in fewer steps:
// match tree steps settled by 8-byte string heads kept in the nodes, match lengths counted only
// where a symbol is coded, a 64-bit bit window, and run ends found by a gallop instead of a scan.
#include "compress/lzhuf.h"

#include <stddef.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "compress/block_stream.h"
#include "compress/stream_bytes.h"

namespace {

constexpr int kRingSize = 4096;
constexpr int kRingMask = kRingSize - 1;
constexpr int kMaxMatch = 60;
constexpr int kThreshold = 2;                      // matches longer than this are coded as matches
constexpr int kRingStart = kRingSize - kMaxMatch;  // first position of the input: 4,036
constexpr int kNil = kRingSize;                    // null position of the match trees
constexpr size_t kNodeWords = 8;                   // match tree node: 16 bytes
constexpr size_t kLeftWord = 4;                    // its left link; the right one follows
constexpr size_t kFromWord = 6;                    // the index of the link that holds it
constexpr size_t kNilRef = kNodeWords * kNil;      // null link; not in a tree, as a holder
constexpr int kSymbols = 256 - kThreshold + kMaxMatch;  // 314: literals, then lengths 3..60
constexpr int kNodes = 2 * kSymbols - 1;                // 627
constexpr int kRoot = kNodes - 1;                       // 626
constexpr uint32_t kMaxWeight = 0x8000;
constexpr uint32_t kPositionBits = 14;  // the longest distance code: 8 prefix bits and 6 more

// The longest symbol code the model can give. Nodes stay ordered by weight, every leaf weighs
// at least 1 and a leaf's sibling weighs at least as much as the nephews below it, so a leaf d
// levels deep needs a root weight of at least the (d + 2)th Fibonacci number (F1 = F2 = 1). The
// model is rebuilt when the root reaches kMaxWeight, so no tree it codes from weighs more.
constexpr uint32_t LongestCodeFor(uint32_t max_root_weight) {
    uint32_t depth = 0;
    uint32_t a = 1;  // F(depth + 2)
    uint32_t b = 2;  // F(depth + 3)
    while (b <= max_root_weight) {
        const uint32_t next = a + b;
        a = b;
        b = next;
        ++depth;
    }
    return depth;
}
constexpr uint32_t kLongestCode = LongestCodeFor(kMaxWeight);  // 21
static_assert(kLongestCode == 21, "F(23) = 28,657 <= 0x8000 < F(24) = 46,368");
static_assert(kLongestCode <= static_cast<uint32_t>(kSymbols) - 1,
              "a tree of 314 leaves is at most 313 deep");
// The compact form: what 32-bit builds run, and what SS_CODER_COMPACT gives a 64-bit build (the
// Windows builds, whose installer's size limit weighs more than its decoding speed, and the
// host's tests of that form). The wide form is the 64-bit speed.
#ifdef SS_CODER_COMPACT
constexpr bool kWideWords = false;
#else
constexpr bool kWideWords = sizeof(size_t) >= sizeof(uint64_t);
#endif
// The root's parent. The wide form makes it the sentinel node, which weighs more than the node
// after it: an update's first loop then stops at the root by the same test as at a swap.
constexpr size_t kAboveRoot = kWideWords ? kNodes : 0;
// Compares read 8 bytes at a time from up to position 4,095 + 59; they may look 7 bytes past
// the ring's copy area, and whatever they find there is cut off at the 60th byte.
constexpr int kRingPad = 8;

struct DistanceCode {
    uint8_t upper;   // upper 6 bits of the distance
    uint8_t length;  // bits of the prefix code
};

}  // namespace

// Module state, shared by encoder and decoder; it survives between runs.
uint32_t target_size;  // expansion: original size, 0 to stop
// Match trees: one node of 8 words per position p, from word 8p: its string's bytes 1..8 as a
// big-endian number (words 0-3), its left and right links (4, 5) and the index of the link that
// holds it (6). A link holds the linked node's first word index, so that it plus 4 plus a side
// indexes the next link. Node 4,096 is the null node (its head: the string being inserted); node
// 4,097 + b holds the root of the tree of first byte b as its right link.
static uint64_t put_bits;               // pending output bits, at the top
static uint32_t put_count;              // how many, fewer than 8 between symbols
static uint16_t get_bits;               // buffered input bits, at the top
static uint32_t get_count;              // how many
static uint16_t leaf_weight[kSymbols];  // rebuild: halved leaf weights, old order
static uint16_t leaf_child[kSymbols];   // rebuild: their child entries
static uint32_t longest_code;           // longest code over 16 bits, latest encode
// The decoder's lookup over the top levels of the code tree (the wide form): by the next
// kTopBits bits of the stream, the position reached after at most that many of them, in bits
// 0-9, and how many were used, above. top_at gives, for every position less than kTopBits
// deep, its depth (bits 12-15) and the code bits that lead there; a position that has since
// moved deeper may keep its old value until a swap finds it out. 256 + 1,254 bytes.
constexpr uint32_t kTopBits = 7;
constexpr uint16_t kNotTop = 0xFFFF;
static_assert(kTopBits <= 12 && kNodes <= 1024, "an entry packs a position and a bit count");
// The match trees (see above), 69,648 bytes; after them, for every position and the null node,
// its string's bytes 9..16 as a big-endian number in 4 words, from word kTreeWords + 4p (the
// node's first word index halved): 32,776 bytes.
constexpr size_t kTreeWords = kNodeWords * (kRingSize + 257);
alignas(16) static uint16_t tree[kTreeWords + 4 * (kRingSize + 1)];
// The ring and the adaptive model in one block, so that the code reaches every part from one
// address.
static struct {
    uint8_t ring[kRingSize + kMaxMatch - 1 + kRingPad];  // 4,163 bytes: ring + copy of 0..58
    uint16_t weight[kNodes + 2];         // node weights, ascending; [627], [628] sentinels
    uint16_t child[kNodes];              // left child, or 627 + symbol for a leaf
    uint16_t parent[kNodes + kSymbols];  // parent; [627 + s]: the leaf of symbol s
    uint16_t top_table[1u << kTopBits];
    uint16_t top_at[kNodes];
} state;
static uint8_t (&ring)[kRingSize + kMaxMatch - 1 + kRingPad] = state.ring;
static uint16_t (&weight)[kNodes + 2] = state.weight;
static uint16_t (&child)[kNodes] = state.child;
static uint16_t (&parent)[kNodes + kSymbols] = state.parent;
static uint16_t (&top_table)[1u << kTopBits] = state.top_table;
static uint16_t (&top_at)[kNodes] = state.top_at;
constexpr size_t kWeightOffset = offsetof(decltype(state), weight);
static_assert(kWeightOffset + 2 * (kNodes + 8) <= sizeof state,
              "the swap search's eight weights after the last node stay in the block");
static_assert(sizeof state.ring >= kRingSize + 16,
              "the walk reads bytes 9 to 16 of a string at any ring position");
constexpr size_t kParentOffset =
    offsetof(decltype(state), parent) - offsetof(decltype(state), weight);  // from weight[0]
static uint8_t EncodeLength[64];       // distance prefix: bits, by upper value
static uint8_t EncodeCode[64];         // distance prefix: code in the top bits
static DistanceCode DecodeTable[256];  // by the next 8 bits of the stream

void ResetBitBuffers() {
    put_bits = 0;
    put_count = 0;
    get_bits = 0;
    get_count = 0;
    target_size = 0;
}

void LzhufResetState() {
    ResetBitBuffers();
    memset(ring, 0, sizeof ring);
    memset(tree, 0, sizeof tree);
    memset(weight, 0, sizeof weight);
    memset(child, 0, sizeof child);
    memset(parent, 0, sizeof parent);
    longest_code = 0;
}

uint32_t LzhufLongestCode() {
    return longest_code;
}

// The distance prefix code: 3 bits for upper value 0, then 4, 5, 6, 7 and 8 bits, each code
// following the previous one in an 8-bit frame.
static void BuildDistanceTables() {
    if (EncodeLength[0] != 0) return;
    uint32_t code = 0;
    for (int u = 0; u < 64; ++u) {
        const uint8_t length = u == 0 ? 3 : u < 4 ? 4 : u < 12 ? 5 : u < 24 ? 6 : u < 48 ? 7 : 8;
        EncodeLength[u] = length;
        EncodeCode[u] = static_cast<uint8_t>(code);
        const uint32_t span = 1u << (8 - length);
        for (uint32_t i = 0; i < span; ++i)
            DecodeTable[code + i] = DistanceCode{static_cast<uint8_t>(u), length};
        code += span;
    }
}

static inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    memcpy(&v, p, sizeof v);
    return v;
}

// The bits below the lowest set bit of x (x != 0), and above the highest. 32-bit builds take the
// two halves: their 64-bit builtins are library calls that the installer does not link.
static inline unsigned LowZeros(uint64_t x) {
    if (sizeof(size_t) >= sizeof x) return static_cast<unsigned>(__builtin_ctzll(x));
    const uint32_t low = static_cast<uint32_t>(x);
    return low ? static_cast<unsigned>(__builtin_ctz(low))
               : 32 + static_cast<unsigned>(__builtin_ctz(static_cast<uint32_t>(x >> 32)));
}
static inline unsigned HighZeros(uint64_t x) {
    if (sizeof(size_t) >= sizeof x) return static_cast<unsigned>(__builtin_clzll(x));
    const uint32_t high = static_cast<uint32_t>(x >> 32);
    return high ? static_cast<unsigned>(__builtin_clz(high))
                : 32 + static_cast<unsigned>(__builtin_clz(static_cast<uint32_t>(x)));
}

// ---- Adaptive Huffman model ----

static void InitModel() {
    for (int s = 0; s < kSymbols; ++s) {
        weight[s] = 1;
        child[s] = static_cast<uint16_t>(s + kNodes);
        parent[s + kNodes] = static_cast<uint16_t>(s);
    }
    for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
        weight[j] = static_cast<uint16_t>(weight[i] + weight[i + 1]);
        child[j] = static_cast<uint16_t>(i);
        parent[i] = parent[i + 1] = static_cast<uint16_t>(j);
    }
    weight[kNodes] = 0xFFFF;
    if (kWideWords) weight[kNodes + 1] = 0;  // below the sentinel: the root's parent stops updates
    parent[kRoot] = kAboveRoot;
}

// Halves every leaf weight and builds the tree again by pairing nodes in index order: nodes 2m
// and 2m + 1 get the parent m, placed after every node of lower or equal weight. Pair sums never
// decrease and a parent always lands beyond the pair it joins, so the finished order is the
// leaves (in their old order) merged with the parents (in the order made), a leaf first where
// weights are equal; it is built in one pass.
static void RebuildModel() {
    size_t leaves = 0;
    for (size_t i = 0; i < kNodes; ++i) {
        if (child[i] >= kNodes) {
            leaf_weight[leaves] = static_cast<uint16_t>((weight[i] + 1) / 2);
            leaf_child[leaves] = child[i];
            ++leaves;
        }
    }
    size_t next_leaf = 0;
    size_t made = 0;    // parents made: parent m joins nodes 2m and 2m + 1
    size_t placed = 0;  // parents placed
    uint16_t parent_weight[kSymbols - 1];
    for (size_t at = 0; at < kNodes; ++at) {
        while (made < kSymbols - 1 && 2 * made + 1 < at) {
            parent_weight[made] = static_cast<uint16_t>(weight[2 * made] + weight[2 * made + 1]);
            ++made;
        }
        if (next_leaf < kSymbols &&
            (placed == made || leaf_weight[next_leaf] <= parent_weight[placed])) {
            weight[at] = leaf_weight[next_leaf];
            child[at] = leaf_child[next_leaf];
            ++next_leaf;
        } else {
            weight[at] = parent_weight[placed];
            child[at] = static_cast<uint16_t>(2 * placed);
            ++placed;
        }
    }
    for (size_t i = 0; i < kNodes; ++i) {
        const size_t k = child[i];
        parent[k] = static_cast<uint16_t>(i);
        if (k < kNodes) parent[k + 1] = static_cast<uint16_t>(i);
    }
}

// Enters the table entries below position `at`, which the code bits `prefix` reach at `depth`
// (less than kTopBits).
static void FillTop(size_t at, uint32_t depth, uint32_t prefix) {
    top_at[at] = static_cast<uint16_t>((depth << 12) | prefix);
    const size_t c = child[at];
    if (c >= kNodes) {  // a leaf: every continuation of its code
        const uint32_t spare = kTopBits - depth;
        const uint16_t entry = static_cast<uint16_t>(at | (depth << 10));
        for (uint32_t i = prefix << spare, end = (prefix + 1) << spare; i < end; ++i)
            top_table[i] = entry;
    } else if (depth + 1 == kTopBits) {
        top_table[2 * prefix] = static_cast<uint16_t>(c | (kTopBits << 10));
        top_table[2 * prefix + 1] = static_cast<uint16_t>((c + 1) | (kTopBits << 10));
    } else {
        FillTop(c, depth + 1, 2 * prefix);
        FillTop(c + 1, depth + 1, 2 * prefix + 1);
    }
}

static void BuildTop() {
    memset(top_at, 0xFF, sizeof top_at);
    FillTop(kRoot, 0, 0);
}

// After the subtree at position `at` changed: enters it again when the position is in the
// table's levels. Its top_at value names the code that leads to it, unless the position has
// since moved deeper; then the value is dropped.
static inline void RepairTop(size_t at) {
    const uint32_t value = top_at[at];
    if (value == kNotTop) return;
    const uint32_t depth = value >> 12;
    size_t q = kRoot;
    uint32_t d = depth;
    for (; d > 0; --d) {
        const size_t c = child[q];
        if (c >= kNodes) break;  // a stale code can run into a leaf on the way
        q = c + ((value >> (d - 1)) & 1);
    }
    if (d != 0 || q != at) {
        top_at[at] = kNotTop;
        return;
    }
    FillTop(at, depth, value & 0xFFF);
}

// The last node, from c + 1 on, whose weight is below k. Weights ascend, so the run of equal
// weights that ends there can be long (all unused symbols weigh 1): look a few nodes ahead,
// then gallop and bisect.
static inline size_t LastBelow(size_t c, uint32_t k) {
    const size_t l = c + 1;
#if defined(__SSE2__)
    if (kWideWords) {
        // The eight weights after l at once: as ascending 16-bit numbers (flipped at the top bit
        // for the signed compare), those below k are a run at the start.
        const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
        const __m128i key = _mm_set1_epi16(static_cast<short>(k ^ 0x8000));
        __m128i ahead;
        // Near the end they run on into the arrays after the weights, in the same block;
        // the sentinel's 0xFFFF ends the run before them.
        memcpy(&ahead, reinterpret_cast<const unsigned char*>(&state) + kWeightOffset + 2 * (l + 1),
               sizeof ahead);
        const uint32_t below = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_cmpgt_epi16(key, _mm_xor_si128(ahead, flip))));
        if (below != 0xFFFF) return l + (static_cast<uint32_t>(__builtin_ctz(~below)) >> 1);
    }
#endif

    if (k <= weight[l + 1]) return l;
    if (k <= weight[l + 2]) return l + 1;
    if (k <= weight[l + 3]) return l + 2;
    size_t lo = l + 3;  // weight[lo] < k
    size_t step = 4;
    size_t hi = lo + step;
    while (hi < kNodes && k > weight[hi]) {
        lo = hi;
        step <<= 1;
        hi = lo + step;
    }
    if (hi > kNodes) hi = kNodes;  // weight[kNodes] is the sentinel, above every k
    while (hi - lo > 1) {
        const size_t mid = (lo + hi) >> 1;
        if (k > weight[mid]) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

// The swap of node c, whose weight has reached its right neighbour's, with the last node of
// the weight below c's new one; then c's place is that node's. With kTop, the decoder's table
// follows.
template <bool kTop>
static inline size_t SwapUp(size_t c, uint32_t k) {
    const size_t l = LastBelow(c, k);
    weight[c] = weight[l];
    weight[l] = static_cast<uint16_t>(k);
    const size_t i = child[c];
    parent[i] = static_cast<uint16_t>(l);
    if (i < kNodes) parent[i + 1] = static_cast<uint16_t>(l);
    const size_t j = child[l];
    child[l] = static_cast<uint16_t>(i);
    parent[j] = static_cast<uint16_t>(c);
    if (j < kNodes) parent[j + 1] = static_cast<uint16_t>(c);
    child[c] = static_cast<uint16_t>(j);
    if (kTop) {
        RepairTop(c);
        RepairTop(l);
    }
    return l;
}

// The update from node c up to the root, one step at a time (the compact form).
template <bool kTop = false>
static inline void UpdatePath(size_t c) {
    do {
        const uint32_t k = ++weight[c];
        if (k > weight[c + 1]) c = SwapUp<kTop>(c, k);
        c = parent[c];
    } while (c != kAboveRoot);
}

// Raises the weights from node c up to the first node whose weight equals its right
// neighbour's (a swap), and returns that node: kAboveRoot when the climb passed the root
// (the wide form). Up to there each step only raises a weight, and no test reads a weight
// that an earlier step raised: the nodes above sit further right. With kRead it also shifts the
// side of every node it raises (its position's low bit) into the top of `code`. On x86-64 a
// step is five instructions, six with kRead.
#define SS_CLIMB_TO_SWAP(READ)                     \
    "jmp 2f\n"                                     \
    "1:\n\t"                                       \
    "incw (%[weight],%[c],2)\n\t" READ             \
    "movzwl %c[parent](%[weight],%[c],2), %k[c]\n" \
    "2:\n\t"                                       \
    "movzwl (%[weight],%[c],2), %k[w]\n\t"         \
    "cmpw 2(%[weight],%[c],2), %w[w]\n\t"          \
    "jb 1b"
template <bool kRead = false>
static inline size_t RaiseToSwap(size_t c, uint64_t* code = nullptr) {
#if defined(__x86_64__) && defined(__GNUC__)
    uint32_t w;
    if constexpr (kRead) {
        __asm__(SS_CLIMB_TO_SWAP("shrdq $1, %[c], %[code]\n\t")
                : [c] "+r"(c), [w] "=&r"(w), [code] "+r"(*code)
                : [weight] "r"(weight), [parent] "i"(kParentOffset)
                : "cc", "memory");
    } else {
        __asm__(SS_CLIMB_TO_SWAP("")
                : [c] "+r"(c), [w] "=&r"(w)
                : [weight] "r"(weight), [parent] "i"(kParentOffset)
                : "cc", "memory");
    }
    return c;
#else
    for (;;) {
        const uint32_t w = weight[c];
        if (w >= weight[c + 1]) return c;
        weight[c] = static_cast<uint16_t>(w + 1);
        if (kRead) *code = (*code >> 1) | (static_cast<uint64_t>(c) << 63);
        c = parent[c];
    }
#endif
}
#undef SS_CLIMB_TO_SWAP

// The rest of an update from node c, whose weight equals its right neighbour's: a swap, then
// the climb to the next one (the wide form).
template <bool kTop>
static inline void UpdateFromSwap(size_t c) {
    while (c != kAboveRoot)
        c = RaiseToSwap(parent[SwapUp<kTop>(c, weight[c] + 1u)]);
}

template <bool kTop = false>
static inline void UpdateModel(size_t s) {
    if (weight[kRoot] == kMaxWeight) {
        RebuildModel();
        if (kTop) BuildTop();
    }
    const size_t c = parent[s + kNodes];
    if (kWideWords) {
        UpdateFromSwap<kTop>(RaiseToSwap(c));
    } else {
        UpdatePath<kTop>(c);
    }
}

// ---- Encoder ----

// Appends the top n bits of `code` (n <= 49) to the output, most significant first. With room
// to spare in the output buffer, the wide form stores the whole bytes at once and counts them
// together: nothing between those writes calls a hook.
static inline void PutBits(uint32_t n, uint64_t code) {
    put_bits |= code >> put_count;
    put_count += n;
    if (kWideWords && put_count >= 8 && StreamWriteEnd - StreamWritePtr > 8) {
        const uint32_t whole = put_count >> 3;  // 1 to 7
        const uint64_t out = __builtin_bswap64(put_bits);
        memcpy(StreamWritePtr, &out, sizeof out);
        StreamWritePtr += whole;
        StreamCountTicks(whole);
        put_bits <<= 8 * whole;
        put_count &= 7;
        return;
    }
    while (put_count >= 8) {
        StreamPutByte(static_cast<uint32_t>(put_bits >> 56));
        put_bits <<= 8;
        put_count -= 8;
    }
}

// The code of distance d (less than 4,096): its bit count, and the bits at the top of `bits`.
static inline uint32_t DistanceBits(uint32_t d, uint64_t* bits) {
    const uint32_t u = d >> 6;
    const uint32_t length = EncodeLength[u];
    *bits = static_cast<uint64_t>((static_cast<uint32_t>(EncodeCode[u]) << 24) |
                                  ((d & 0x3F) << (26 - length)))
            << 32;
    return length + 6;
}

// Shifts the sides of node c and of the nodes above it, the root's included, into the top of
// `code`: four instructions a level on x86-64.
static inline uint64_t ReadToRoot(size_t c, uint64_t code) {
#if defined(__x86_64__) && defined(__GNUC__)
    __asm__(
        "cmpq %[above], %[c]\n\t"
        "je 2f\n"
        "1:\n\t"
        "shrdq $1, %[c], %[code]\n\t"
        "movzwl %c[parent](%[weight],%[c],2), %k[c]\n\t"
        "cmpq %[above], %[c]\n\t"
        "jne 1b\n"
        "2:"
        : [c] "+r"(c), [code] "+r"(code)
        : [weight] "r"(weight), [parent] "i"(kParentOffset), [above] "i"(kAboveRoot)
        : "cc", "memory");
    return code;
#else
    for (; c != kAboveRoot; c = parent[c])
        code = (code >> 1) | (static_cast<uint64_t>(c) << 63);
    return code;
#endif
}

// The code of s is read from the leaf up, and the update walks the same path until its first
// swap: a node whose weight equals its right neighbour's. Children sit below their parents, so
// no increment on the way can change a weight that a later test on the path reads. The wide
// form does both in one pass up to that node (past the root for most symbols); from there the
// rest of the code is read from the tree as it was, and the update goes on from the swap.
// The symbol s, followed by the `extra` bits at the top of `after` (a match's distance).
__attribute__((always_inline)) static inline void EncodeSymbol(int s, uint32_t extra,
                                                               uint64_t after) {
    // A code is one bit per level from the leaf up; no code is longer than kLongestCode (21)
    // bits, and 32 bits hold any of them.
    static_assert(kLongestCode <= 32, "a symbol code fits the 32-bit code word");
    size_t c = parent[s + kNodes];
    if (!kWideWords) {  // the whole code first, then the update: the least code
        uint32_t code = 0;
        uint32_t n = 0;
        for (; c != kRoot; c = parent[c], ++n)
            code = (code >> 1) | (static_cast<uint32_t>(c & 1) << 31);
        if (n > 16 && n > longest_code) longest_code = n;
        PutBits(n, static_cast<uint64_t>(code) << 32);
        if (extra) PutBits(extra, after);
        UpdateModel(static_cast<size_t>(s));
        return;
    }
    // The bits come in at the top, above a marker bit that counts them; the climb takes the
    // root's (meaningless) bit too, shifted out at the end.
    uint64_t code = uint64_t(1) << 63;
    const bool rebuild = weight[kRoot] == kMaxWeight;  // before this symbol's update
    size_t swap = kAboveRoot;
    if (!rebuild) swap = c = RaiseToSwap<true>(c, &code);
    code = ReadToRoot(c, code);
    code <<= 1;
    const uint32_t n = 63 - LowZeros(code);
    if (n > 16 && n > longest_code) longest_code = n;
    PutBits(n + extra, (code & (code - 1)) | (after >> n));
    if (rebuild) {
        RebuildModel();
        swap = RaiseToSwap(parent[s + kNodes]);
    }
    UpdateFromSwap<false>(swap);
}

static void FlushBits() {
    if (put_count > 0) StreamPutByte(static_cast<uint32_t>(put_bits >> 56));
    put_bits = 0;
    put_count = 0;
}

// Index of the first byte, from `from` on, where the strings at a and b differ; kMaxMatch or
// more when they agree up to the 60th byte.
static inline size_t MatchEnd(const uint8_t* a, const uint8_t* b, size_t from) {
    size_t i = from;
    for (;;) {
        const uint64_t x = Load64(a + i) ^ Load64(b + i);
        if (x != 0) return i + (static_cast<size_t>(LowZeros(x)) >> 3);
        i += 8;
        if (i >= kMaxMatch) return i;
    }
}

static inline uint64_t LoadBigEndian64(const uint8_t* p) {
    return __builtin_bswap64(Load64(p));
}

// The head of the string of the node whose first word is `ref`.
static inline uint64_t HeadAt(size_t ref) {
    uint64_t v;
    memcpy(&v, tree + ref, sizeof v);
    return v;
}

// Where bytes 9 to 16 of the string of the node whose first word is `ref` are kept.
static inline uint16_t* SecondHead(size_t ref) {
    return tree + kTreeWords + ref / 2;
}

// Follows links from `at` until the linked node is the null node or a string that agrees with
// the key in bytes 1 to 16; returns that link and the node in `next`. Most steps are settled by
// the heads (bytes 1 to 8) in the nodes, in four instructions on x86-64: the compare that finds
// an equal head also gives the side (the carry: the node's head is below the key's, go right).
// Where the heads are equal, the second heads (bytes 9 to 16; `head2` is the key's) settle the
// step the same way. The null node carries both of the key's, so the walk stops there as at an
// equal string.
static inline size_t StepToEqualString(size_t at, uint64_t head, uint64_t head2, size_t* next) {
#if defined(__x86_64__) && defined(__GNUC__)
    size_t node;
    __asm__(
        "movzwl (%[tree],%[at],2), %k[node]\n\t"
        "cmpq %[head], (%[tree],%[node],2)\n\t"
        "je 4f\n"
        "1:\n\t"
        "adcq $4, %[node]\n"
        "5:\n\t"
        "movzwl (%[tree],%[node],2), %k[at]\n\t"
        "cmpq %[head], (%[tree],%[at],2)\n\t"
        "je 2f\n\t"
        "adcq $4, %[at]\n\t"
        "movzwl (%[tree],%[at],2), %k[node]\n\t"
        "cmpq %[head], (%[tree],%[node],2)\n\t"
        "jne 1b\n\t"
        "jmp 4f\n"
        "2:\n\t"
        "xchgq %[at], %[node]\n"
        "4:\n\t"
        "cmpq %[head2], %c[second](%[tree],%[node])\n\t"
        "je 9f\n\t"
        "adcq $4, %[node]\n\t"
        "jmp 5b\n"
        "9:"
        : [at] "+r"(at), [node] "=&r"(node)
        : [tree] "r"(tree), [head] "r"(head), [head2] "r"(head2), [second] "i"(2 * kTreeWords)
        : "cc", "memory");
    *next = node;
    return at;
#else
    for (;;) {
        const size_t node = tree[at];
        uint64_t other = HeadAt(node);
        if (other == head) {
            memcpy(&other, SecondHead(node), sizeof other);
            if (other == head2) break;
            at = node + kLeftWord + (other < head2);
        } else {
            at = node + kLeftWord + (other < head);
        }
    }
    *next = tree[at];
    return at;
#endif
}

// Follows links from `at` until the linked node's head differs from the key's head by less
// than `limit` (at least 1, so an equal head always stops it); returns that link, the node's
// link onward on the key's side in `on` (the node is `on` rounded down to a multiple of 8) and
// the heads' XOR in `x`. Seven instructions a step on x86-64.
static inline size_t StepToCandidate(size_t at, uint64_t head, uint64_t limit, size_t* on,
                                     uint64_t* x) {
#if defined(__x86_64__) && defined(__GNUC__)
    size_t onward;
    uint64_t diff;
    __asm__(
        "1:\n\t"
        "movzwl (%[tree],%[at],2), %k[on]\n\t"
        "movq (%[tree],%[on],2), %[x]\n\t"
        "cmpq %[head], %[x]\n\t"
        "adcq $4, %[on]\n\t"
        "xorq %[head], %[x]\n\t"
        "cmpq %[limit], %[x]\n\t"
        "jb 9f\n\t"
        "movzwl (%[tree],%[on],2), %k[at]\n\t"
        "movq (%[tree],%[at],2), %[x]\n\t"
        "cmpq %[head], %[x]\n\t"
        "adcq $4, %[at]\n\t"
        "xorq %[head], %[x]\n\t"
        "cmpq %[limit], %[x]\n\t"
        "jae 1b\n\t"
        "xchgq %[at], %[on]\n"
        "9:"
        : [at] "+r"(at), [on] "=&r"(onward), [x] "=&r"(diff)
        : [tree] "r"(tree), [head] "r"(head), [limit] "r"(limit)
        : "cc", "memory");
    *on = onward;
    *x = diff;
    return at;
#else
    for (;;) {
        const size_t node = tree[at];
        const uint64_t other = HeadAt(node);
        const size_t onward = node + kLeftWord + (other < head);
        if ((other ^ head) < limit) {
            *on = onward;
            *x = other ^ head;
            return at;
        }
        at = onward;
    }
#endif
}

struct Match {
    int length;    // 2 or less: none
    int distance;  // minus 1
};

// Adds the string at r to the tree of its first byte, leaving the longest match met on the way
// (the nearest of equal ones) in `found`. Only the position inserted last before a symbol is coded
// needs its match; the others (kTrack false) only update the tree. Every string of the tree starts
// with the key's byte, so most steps are settled by bytes 1 to 8 of both strings, read as
// big-endian numbers (kept for every node, so that a step reads no ring bytes): they order the
// strings as the bytes do, and their XOR shows the common prefix. Strings that agree that far are
// compared on from byte 9, eight bytes at a time.
template <bool kTrack>
static inline void InsertPosition(size_t r, Match* found = nullptr) {
    const uint8_t* key = ring + r;
    const uint64_t head = LoadBigEndian64(key + 1);
    const size_t node_r = kNodeWords * r;
    memcpy(tree + node_r, &head, sizeof head);
    // The link being followed: the first step goes to the root, the right child of the slot.
    size_t at = kNodeWords * (kRingSize + 1 + key[0]) + kLeftWord + 1;
    tree[node_r + kLeftWord] = tree[node_r + kLeftWord + 1] = kNilRef;
    // Distances are counted in node words, 8 a position: from `reach`, a node's first word or a
    // link in it gives the node's distance minus 1 by a subtraction and a mask.
    const size_t reach = node_r - 3;
    constexpr size_t kDistanceMask = kNodeWords * kRingMask;
    constexpr size_t kNoMatch = ~size_t(0);
    size_t best = kThreshold;
    size_t distance = kNoMatch;
    // The wide form walks on while the heads' XOR is at least `limit`: below it, a string shares
    // as many bytes with the key as the best match so far (counting byte 0), or more below
    // limit >> 8; before any match, more than kThreshold. While heads decide, the limit alone
    // tells the best length (`best` stays kThreshold); 1 once the ring has shown a longer one,
    // then only equal heads stop the walk. Below `longer` (limit >> 8, at least 1), a string
    // shares more bytes than the best, or it has an equal head.
    uint64_t limit = uint64_t(1) << (72 - 8 * (kThreshold + 1));
    uint64_t longer = limit >> 8;
    // The null node carries the key's head, so a step onto it looks like a step onto an equal
    // string: the end of the path is looked for only among equal heads.
    memcpy(tree + kNilRef, &head, sizeof head);
    // Every node keeps bytes 9 to 16 as well, and untracked steps settle them too before the ring
    // is compared on; the null node carries the key's.
    const uint64_t head2 = LoadBigEndian64(key + 9);
    memcpy(SecondHead(node_r), &head2, sizeof head2);
    if (!kTrack) memcpy(SecondHead(kNilRef), &head2, sizeof head2);
    for (;;) {
        size_t next;
        size_t from;  // the first byte not yet known to agree
        if (!kTrack) {
            at = StepToEqualString(at, head, head2, &next);
            from = 17;
        } else if (kWideWords) {
            size_t on;
            uint64_t x;
            at = StepToCandidate(at, head, limit, &on, &x);
            if (x >= longer) {  // as long as the best
                const size_t d = (reach - on) & kDistanceMask;
                if (d < distance) distance = d;
                at = on;
                continue;
            }
            if (x != 0) {  // longer: x's top byte sets the new limit
                limit = uint64_t(2) << ((63 - HighZeros(x)) | 7);
                longer = limit >> 8;
                distance = (reach - on) & kDistanceMask;
                at = on;
                continue;
            }
            next = on - kLeftWord;  // equal heads leave no carry: `on` is the left link
            from = 9;
        } else {
            next = tree[at];
            from = 9;
        }
        if (kTrack && !kWideWords && head != HeadAt(next)) {
            // The compact form counts the shared bytes of every step, in less code.
            const uint64_t other = HeadAt(next);
            at = next + kLeftWord + (head > other);
            const size_t i = 1 + (static_cast<size_t>(HighZeros(head ^ other)) >> 3);
            if (i < best) continue;
            const size_t d = (reach - next) & kDistanceMask;
            if (i > best || d < distance) {
                best = i;
                distance = d;
            }
            continue;
        }
        if (next == kNilRef) {
            tree[at] = static_cast<uint16_t>(node_r);
            tree[node_r + kFromWord] = static_cast<uint16_t>(at);
            break;
        }
        const size_t p = next / kNodeWords;
        const size_t i = MatchEnd(key, ring + p, from);
        if (i >= kMaxMatch) {
            // Equal strings: r takes p's place in the tree, and p leaves it.
            distance = (reach - next) & kDistanceMask;
            best = kMaxMatch;
            const size_t holder = tree[next + kFromWord];
            const size_t left = tree[next + kLeftWord];
            const size_t right = tree[next + kLeftWord + 1];
            tree[holder] = static_cast<uint16_t>(node_r);
            tree[node_r + kFromWord] = static_cast<uint16_t>(holder);
            tree[node_r + kLeftWord] = static_cast<uint16_t>(left);
            tree[node_r + kLeftWord + 1] = static_cast<uint16_t>(right);
            tree[left + kFromWord] = static_cast<uint16_t>(node_r + kLeftWord);
            tree[right + kFromWord] = static_cast<uint16_t>(node_r + kLeftWord + 1);
            tree[next + kFromWord] = kNilRef;
            break;
        }
        at = next + kLeftWord + (key[i] > ring[p + i]);
        if (kTrack && i >= best) {
            const size_t d = (reach - next) & kDistanceMask;
            if (i > best || d < distance) {
                best = i;
                distance = d;
                limit = longer = 1;
            }
        }
    }
    if (kTrack) {
        // Without a match the distance is never read.
        if (kWideWords && best == kThreshold && distance != kNoMatch)
            best = 9 - (LowZeros(limit) >> 3);
        found->length = static_cast<int>(best);
        found->distance = static_cast<int>(distance / kNodeWords);
    }
}

static inline void DeletePosition(size_t p) {
    const size_t node_p = kNodeWords * p;
    const size_t holder = tree[node_p + kFromWord];
    if (holder == kNilRef) return;
    const size_t left = tree[node_p + kLeftWord];
    const size_t right = tree[node_p + kLeftWord + 1];
    size_t q;  // the node taking p's place
    if (right == kNilRef) {
        q = left;
    } else if (left == kNilRef) {
        q = right;
    } else {
        q = left;
        size_t down = tree[q + kLeftWord + 1];
        if (down != kNilRef) {
            size_t above;
            do {
                above = q;
                q = down;
                down = tree[q + kLeftWord + 1];
            } while (down != kNilRef);
            // q, the largest node left of p, leaves its place (the right link of the node above
            // it) to its left subtree.
            const size_t below_q = tree[q + kLeftWord];
            tree[above + kLeftWord + 1] = static_cast<uint16_t>(below_q);
            tree[below_q + kFromWord] = static_cast<uint16_t>(above + kLeftWord + 1);
            tree[q + kLeftWord] = static_cast<uint16_t>(left);
            tree[left + kFromWord] = static_cast<uint16_t>(q + kLeftWord);
        }
        tree[q + kLeftWord + 1] = static_cast<uint16_t>(right);
        tree[right + kFromWord] = static_cast<uint16_t>(q + kLeftWord + 1);
    }
    tree[q + kFromWord] = static_cast<uint16_t>(holder);
    tree[holder] = static_cast<uint16_t>(q);
    tree[node_p + kFromWord] = kNilRef;
}

// Puts the bytes from `in` to `end` (at least one) into the ring from position s on, each in
// place of the oldest string, which leaves its tree; the strings that are complete then, all
// but the last, go into theirs. Returns the position after the last byte. A string starts
// kMaxMatch positions before the byte that completes it.
static inline size_t TakeBytes(const uint8_t* in, const uint8_t* end, size_t s) {
    for (;;) {
        DeletePosition(s);
        const uint8_t c = *in++;
        ring[s] = c;
        if (s < kMaxMatch - 1) ring[s + kRingSize] = c;
        s = (s + 1) & kRingMask;
        if (in == end) return s;
        InsertPosition<false>((s - kMaxMatch) & kRingMask);
    }
}

void LzhufEncode() {
    const int32_t size = WriteOriginalSize();
    if (size == 0) return;
    BuildDistanceTables();
    longest_code = 0;
    InitModel();
    for (int i = kRingSize + 1; i <= kRingSize + 256; ++i)
        tree[kNodeWords * i + kLeftWord + 1] = kNilRef;
    for (int i = 0; i < kRingSize; ++i)
        tree[kNodeWords * i + kFromWord] = kNilRef;
    memset(ring, ' ', kRingStart);
    int s = 0;
    int r = kRingStart;
    int len = 0;
    int c;
    while (len < kMaxMatch && (c = StreamGetByte()) >= 0) {
        ring[r + len] = static_cast<uint8_t>(c);
        ++len;
    }
    for (int i = 1; i <= kMaxMatch; ++i)
        InsertPosition<false>(r - i);
    Match match;
    InsertPosition<true>(r, &match);
    while (len > 0) {
        if (match.length > len) match.length = len;
        if (match.length <= kThreshold) {
            match.length = 1;
            EncodeSymbol(ring[r], 0, 0);
        } else {
            uint64_t after;
            const uint32_t extra = DistanceBits(static_cast<uint32_t>(match.distance), &after);
            EncodeSymbol(255 - kThreshold + match.length, extra, after);
        }
        const int last = match.length;
        int i = 0;
        if (StreamReadEnd - StreamReadPtr >= last) {
            // The whole step's input is in the current unit: take it at once. Nothing is written
            // before the next symbol, so counting the bytes here calls the tick hook between the
            // same writes as counting them one by one would.
            const uint8_t* in = StreamReadPtr;
            StreamReadPtr += last;
            StreamCountTicks(static_cast<uint32_t>(last));
            s = static_cast<int>(TakeBytes(in, in + last, static_cast<size_t>(s)));
            r = (s - kMaxMatch) & kRingMask;
            InsertPosition<true>(static_cast<size_t>(r), &match);
            continue;
        }
        while (i < last && (c = StreamGetByte()) >= 0) {
            DeletePosition(s);
            ring[s] = static_cast<uint8_t>(c);
            if (s < kMaxMatch - 1) ring[s + kRingSize] = static_cast<uint8_t>(c);
            s = (s + 1) & kRingMask;
            r = (r + 1) & kRingMask;
            ++i;
            if (i == last) {
                InsertPosition<true>(r, &match);
            } else {
                InsertPosition<false>(r);
            }
        }
        while (i < last) {
            ++i;
            DeletePosition(s);
            s = (s + 1) & kRingMask;
            r = (r + 1) & kRingMask;
            if (--len == 0) continue;
            if (i == last) {
                InsertPosition<true>(r, &match);
            } else {
                InsertPosition<false>(r);
            }
        }
    }
    FlushBits();
}

// ---- Decoder ----

// Bit input exactly as a 16-bit window topped up a byte at a time before every read: used where
// a unit boundary is near, because there the moment of every byte request decides what the
// block stream does (read, check, end).
static inline void FillWindow() {
    while (get_count <= 8) {
        int b = StreamGetByte();
        if (b < 0) b = 0;
        get_bits = static_cast<uint16_t>(get_bits | (b << (8 - get_count)));
        get_count += 8;
    }
}

static inline uint32_t ReadBit() {
    FillWindow();
    const uint32_t bit = get_bits >> 15;
    get_bits = static_cast<uint16_t>(get_bits << 1);
    --get_count;
    return bit;
}

static inline uint32_t ReadByte() {
    FillWindow();
    const uint32_t byte = get_bits >> 8;
    get_bits = static_cast<uint16_t>(get_bits << 8);
    get_count -= 8;
    return byte;
}

static int DecodeSymbolByBytes(uint32_t* distance) {
    int c = child[kRoot];
    while (c < kNodes)
        c = child[c + ReadBit()];
    const int s = c - kNodes;
    UpdateModel<kWideWords>(s);
    if (s >= 256) {
        uint32_t i = ReadByte();
        const DistanceCode code = DecodeTable[i];
        for (int n = code.length - 2; n > 0; --n)
            i = (i << 1) + ReadBit();
        *distance = (static_cast<uint32_t>(code.upper) << 6) | (i & 0x3F);
    }
    return s;
}

// The wide decoder reads its bits from a 64-bit window filled eight bytes at a time
// from the current unit, ahead of the byte requests that the 16-bit window makes. Those requests
// are still what the block stream sees: a symbol always ends on a one-bit read, before which the
// 16-bit window held 9 to 16 bits, so after a symbol it holds 8 to 15 and every further whole
// byte in the wide window was fetched early. They are counted before anything the block stream
// does (a flush, a unit read) and the 16-bit window is rebuilt when the unit runs short.
struct WideWindow {
    uint64_t bits;           // next bits at the top; below `held`, the bytes after them
    uint32_t held;           // valid bits
    const uint8_t* next;     // next byte of the unit not in the window
    const uint8_t* counted;  // requests up to here have been counted for the tick hook
};

// A symbol takes at most kLongestCode + kPositionBits = 35 bits from the window, and after it
// the window must still hold the 8 or more bits that the 16-bit window holds there (they tell
// which byte requests were made early); a refill gives 56 to 63. The margin covers a model
// change that deepened the tree by a few levels.
constexpr uint32_t kWideRefill = 48;
static_assert(kWideRefill >= kLongestCode + kPositionBits + 8, "a symbol can drain the window");
static_assert(kWideRefill <= 56, "a refill must reach the threshold");

static inline bool EnterWide(WideWindow* w) {
    if (get_count < 8 || StreamReadEnd - StreamReadPtr < 16) return false;
    w->bits = static_cast<uint64_t>(get_bits) << 48;
    w->held = get_count;
    w->next = w->counted = StreamReadPtr;
    return true;
}

// Where the byte-wise window's requests stand, at a symbol boundary.
static inline const uint8_t* RequestedUpTo(const WideWindow& w) {
    return w.next - ((w.held - 8) >> 3);
}

static inline void CountRequests(WideWindow* w) {
    const uint8_t* requested = RequestedUpTo(*w);
    StreamCountManyTicks(static_cast<uint32_t>(requested - w->counted));
    w->counted = requested;
}

static inline void LeaveWide(WideWindow* w) {
    CountRequests(w);
    StreamReadPtr = w->counted;
    get_count = 8 + ((w->held - 8) & 7);
    get_bits = static_cast<uint16_t>((w->bits >> 48) & (0xFFFF0000u >> get_count));
}

// Fills the window from the eight bytes at `next` to 56 bits or more. Bits of the next byte may
// already sit below `held`; OR-ing the same byte there again leaves them as they are.
static inline void TopUp(uint64_t* bits, uint32_t* held, const uint8_t** next) {
    *bits |= LoadBigEndian64(*next) >> *held;
    *next += (63 - *held) >> 3;
    *held |= 56;
}

// Tops the window up when the unit still has eight bytes for it; 0 when it does not.
static inline int RefillWide(WideWindow* w) {
    if (w->held >= kWideRefill) return 1;
    if (StreamReadEnd - w->next < 8) return 0;
    TopUp(&w->bits, &w->held, &w->next);
    return 1;
}

// Decodes one symbol from the top of `bits` (and its distance when it is a match), shifts its
// bits out and returns how many were used in `used`.
static inline int DecodeFromBits(uint64_t* bits_in_out, uint32_t* used_out, uint32_t* distance) {
    uint64_t bits = *bits_in_out;
    uint32_t used = 0;
    size_t c = child[kRoot];
    if (kWideWords) {
        const uint32_t entry = top_table[bits >> (64 - kTopBits)];
        used = entry >> 10;
        bits <<= used;
        c = child[entry & 0x3FF];
        while (c < kNodes) {
            c = child[c + (bits >> 63)];
            bits <<= 1;
            ++used;
        }
    } else {
        do {
            c = child[c + (bits >> 63)];
            bits <<= 1;
            ++used;
        } while (c < kNodes);
    }
    const int s = static_cast<int>(c) - kNodes;
    UpdateModel<kWideWords>(s);
    if (s >= 256) {
        const DistanceCode code = DecodeTable[bits >> 56];
        const uint32_t length = code.length + 6u;
        *distance = (static_cast<uint32_t>(code.upper) << 6) |
                    static_cast<uint32_t>((bits >> (64 - length)) & 0x3F);
        bits <<= length;
        used += length;
    }
    *bits_in_out = bits;
    *used_out = used;
    return s;
}

static inline int DecodeSymbolWide(WideWindow* w, uint32_t* distance) {
    uint32_t used;
    const int s = DecodeFromBits(&w->bits, &used, distance);
    w->held -= used;
    return s;
}

// Copies n bytes forward from `from` to `to` within the ring as a match does (where the source
// runs into the bytes being written, it reads them again), and the same bytes to `out`, which
// has room for n + 8: up to 7 bytes past the match land there, to be overwritten. The compact
// form copies the ring byte by byte, in the least code; the wide form eight bytes at a time when
// source and destination are at least eight apart, which gives the same bytes, and the last
// eight again so that nothing past the end of the ring's part is touched.
static inline void CopyMatch(uint8_t* to, const uint8_t* from, uint32_t n, uint8_t* out) {
    const intptr_t gap = to - from;
    if (!kWideWords) {
        for (uint32_t k = 0; k < n; ++k)
            to[k] = from[k];
    } else if (n >= 8 && (gap >= 8 || gap <= -8)) {
        uint64_t v;
        uint32_t k = 0;
        for (; k + 8 <= n; k += 8) {
            memcpy(&v, from + k, 8);
            memcpy(to + k, &v, 8);
            memcpy(out + k, &v, 8);
        }
        if (k < n) {
            memcpy(&v, from + n - 8, 8);
            memcpy(to + n - 8, &v, 8);
            memcpy(out + n - 8, &v, 8);
        }
        return;
    } else if (gap == 1) {
        memset(to, *from, n);
    } else if (gap >= static_cast<intptr_t>(n) || gap <= -static_cast<intptr_t>(n)) {
        // Apart by at least the length (3 to 7 here): two overlapping copies cover it.
        if (n >= 4) {
            uint32_t head, tail;
            memcpy(&head, from, 4);
            memcpy(&tail, from + n - 4, 4);
            memcpy(to, &head, 4);
            memcpy(to + n - 4, &tail, 4);
        } else {
            for (uint32_t k = 0; k < n; ++k)
                to[k] = from[k];
        }
    } else {
        for (uint32_t k = 0; k < n; ++k)
            to[k] = from[k];
    }
    for (uint32_t k = 0; k < n; k += 8)
        memcpy(out + k, to + k, 8);
}

// Writes a match of n bytes (n < 1,024) from ring position `from` to the ring at r and to the
// output, when neither range wraps and the output buffer has room to spare. 0 when it cannot.
static inline int EmitMatchInBuffer(uint32_t from, uint32_t n, uint32_t r) {
    const uint32_t room = static_cast<uint32_t>(StreamWriteEnd - StreamWritePtr);
    if (room <= n + 8 || from + n > kRingSize || r + n > kRingSize) return 0;
    CopyMatch(ring + r, ring + from, n, StreamWritePtr);
    StreamWritePtr += n;
    StreamCountTicks(n);
    return 1;
}

static uint32_t EmitMatchByBytes(uint32_t from, uint32_t n, uint32_t r) {
    for (uint32_t k = 0; k < n; ++k) {
        const uint8_t b = ring[(from + k) & kRingMask];
        StreamPutByte(b);
        ring[r] = b;
        r = (r + 1) & kRingMask;
    }
    return r;
}

// The bulk of a 64-bit decode: symbols one after another while the unit has bytes for every
// refill, the output buffer has room for the longest match with the copy's spare bytes, and the
// original size is not reached. Everything the loop touches stays in locals; the tick count is
// kept here too and the hook called when it passes 1,024, which happens between the same flushes
// and unit reads as byte by byte. Returns the ring position after the run.
static uint32_t DecodeRun(WideWindow* w, uint32_t r, uint32_t* count_in_out) {
    uint64_t bits = w->bits;
    uint32_t held = w->held;
    const uint8_t* next = w->next;
    const uint8_t* const in_end = StreamReadEnd;
    uint8_t* out = StreamWritePtr;
    uint32_t ticks = StreamTicks;
    // Every decoded byte goes to the output, so one bound on `out` stops the run both where the
    // original size is reached and where the buffer could not take the longest match.
    uint32_t count = *count_in_out;
    const uint8_t* stop;
    const auto bound = [&] {
        const intptr_t room = (StreamWriteEnd - out) - (kMaxMatch + 8);
        const intptr_t left = static_cast<intptr_t>(target_size) - count;
        stop = room > 0 && left > 0 ? out + (room < left ? room : left) : out;
    };
    bound();
    while (out < stop) {
        if (held < kWideRefill) {
            if (in_end - next < 8) break;
            TopUp(&bits, &held, &next);
        }
        uint32_t used;
        uint32_t distance = 0;
        const int c = DecodeFromBits(&bits, &used, &distance);
        held -= used;
        uint32_t n = 1;
        if (c < 256) {
            *out++ = static_cast<uint8_t>(c);
            ring[r] = static_cast<uint8_t>(c);
            r = (r + 1) & kRingMask;
        } else {
            n = static_cast<uint32_t>(c) - (255 - kThreshold);
            const uint32_t from = (r - distance - 1) & kRingMask;
            if (from + n <= kRingSize && r + n <= kRingSize) {
                CopyMatch(ring + r, ring + from, n, out);
                out += n;
                r = (r + n) & kRingMask;
            } else {
                for (uint32_t k = 0; k < n; ++k) {
                    const uint8_t b = ring[(from + k) & kRingMask];
                    *out++ = b;
                    ring[r] = b;
                    r = (r + 1) & kRingMask;
                }
            }
        }
        ticks += n;
        if (ticks >= kTickInterval) {
            count += static_cast<uint32_t>(out - StreamWritePtr);
            StreamWritePtr = out;
            StreamTicks = ticks - kTickInterval;
            StreamTick();
            ticks = StreamTicks;
            bound();  // a failed stream ends the run
        }
    }
    w->bits = bits;
    w->held = held;
    w->next = next;
    *count_in_out = count + static_cast<uint32_t>(out - StreamWritePtr);
    StreamWritePtr = out;
    StreamTicks = ticks;
    return r;
}

void LzhufDecode() {
    target_size = static_cast<uint32_t>(ReadOriginalSize());
    if (target_size == 0) return;
    BuildDistanceTables();
    InitModel();
    if (kWideWords) BuildTop();
    memset(ring, ' ', kRingStart);
    uint32_t r = kRingStart;
    uint32_t count = 0;
    WideWindow w = {};
    bool wide = false;
    while (count < target_size) {
        // The 64-bit window is the wide form's speed; the compact form (a 32-bit build would
        // carry its 64-bit shifts out in pairs of registers) reads every symbol byte-wise.
        if (kWideWords && !wide) wide = EnterWide(&w);
        if (kWideWords && wide) {
            r = DecodeRun(&w, r, &count);
            if (count >= target_size) break;
        }
        if (wide && !RefillWide(&w)) {
            LeaveWide(&w);
            wide = false;
        }
        uint32_t distance = 0;
        const int c = wide ? DecodeSymbolWide(&w, &distance) : DecodeSymbolByBytes(&distance);
        if (c < 256) {
            if (StreamWriteEnd - StreamWritePtr > 1) {
                *StreamWritePtr++ = static_cast<uint8_t>(c);
                StreamCountTicks(1);
            } else {
                if (wide) CountRequests(&w);
                StreamPutByte(static_cast<uint32_t>(c));
            }
            ring[r] = static_cast<uint8_t>(c);
            r = (r + 1) & kRingMask;
            ++count;
        } else {
            const uint32_t n = static_cast<uint32_t>(c) - (255 - kThreshold);
            const uint32_t from = (r - distance - 1) & kRingMask;
            count += n;
            if (EmitMatchInBuffer(from, n, r)) {
                r = (r + n) & kRingMask;
            } else {
                if (wide) CountRequests(&w);
                r = EmitMatchByBytes(from, n, r);
            }
        }
    }
    // After a failed write the stream has stopped serving; there is nothing left to account.
    if (wide && target_size != 0) LeaveWide(&w);
}
