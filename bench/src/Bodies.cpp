#include "Bodies.h"

#include <cstring>
#include <vector>

namespace {

std::string PrintableBlock() {
    std::string block(BlockSize, ' ');
    for (std::size_t i = 0; i < BlockSize; ++i) {
        block[i] = static_cast<char>('!' + (i * 7 + i / 91) % 94);
    }
    return block;
}

// Whole pieces repeated until the next would not fit; the rest is spaces.
std::string TextBlock(const std::vector<const char*>& pieces) {
    std::string block;
    for (std::size_t i = 0;; ++i) {
        const char* piece = pieces[i % pieces.size()];
        if (block.size() + std::strlen(piece) > BlockSize) break;
        block += piece;
    }
    block.resize(BlockSize, ' ');
    return block;
}

std::string AsciiBlock() {
    return TextBlock({"The quick brown fox jumps over the lazy dog. ",
                      "Pack my box with five dozen liquor jugs.\r\n",
                      "<p class=\"entry\">0123456789</p>\n"});
}

// Hiragana, katakana and kanji of code page 932, with ASCII digits and
// punctuation between them.
std::string JapaneseBlock() {
    return TextBlock({"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe6\x96\x87\xe7\xab\xa0"
                      "\xe3\x81\xa7\xe3\x81\x99\xe3\x80\x82",
                      "\xe3\x82\xab\xe3\x82\xbf\xe3\x82\xab\xe3\x83\x8a\xe3\x81\xa8\xe6\xbc\xa2"
                      "\xe5\xad\x97 2026 ",
                      "\xe6\x9d\xb1\xe4\xba\xac\xe3\x80\x81\xe5\xa4\xa7\xe9\x98\xaa\xe3\x80\x81"
                      "\xe4\xba\xac\xe9\x83\xbd\r\n"});
}

const std::vector<BodySource>& Bodies() {
    static const std::vector<BodySource> bodies = {
        {"big", LargeBodySize, PrintableBlock()},
        {"small", SmallBodySize, PrintableBlock()},
        {"ascii", LargeBodySize, AsciiBlock()},
        {"japanese", LargeBodySize, JapaneseBlock()},
    };
    return bodies;
}

}  // namespace

const BodySource* FindBody(const std::string& name) {
    for (const BodySource& body : Bodies()) {
        if (name == body.Name) return &body;
    }
    return nullptr;
}

bool MatchesBody(const BodySource& body, const char* text, std::size_t size) {
    if (size != body.Size) return false;
    for (std::size_t offset = 0; offset < size; offset += BlockSize) {
        std::size_t count = size - offset < BlockSize ? size - offset : BlockSize;
        if (std::memcmp(text + offset, body.Block.data(), count) != 0) return false;
    }
    return true;
}
