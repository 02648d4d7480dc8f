// The interpreted fields of the INFO block, as bytes in the block's code page, and their
// placement in the 6,148-byte block.
#pragma once

#include <stdint.h>

#include <string>

#include "tools/sspack/info_layout.h"

struct InfoFields {
    std::string texts[info::kTextCount];  // question, completion, failure, progress
    bool text_given[info::kTextCount] = {};
    std::string document_path;
    uint32_t follow_up = 0;  // 0 none, 1 display settings, 2 start, 3 open document
    uint32_t show_progress = 0;
    std::string name;
    uint32_t keep_current_saver = 0;
    uint32_t custom_labels = 0;
    std::string yes_label;
    std::string no_label;
    uint32_t code_page = 0;
    std::string alt_texts[info::kTextCount];
    bool alt_given[info::kTextCount] = {};
    std::string alt_name;
};

// Writes every interpreted field over `block` (kBlockSize bytes): each field is cleared whole,
// then its text or number is put at its start. Bytes outside the fields are left as they are.
// Texts longer than their field are cut to leave the terminating NUL.
void EncodeInfoBlock(const InfoFields& fields, uint8_t* block);

// Reads the interpreted fields of `block` (kBlockSize bytes). A text runs to its first NUL or to
// the end of its field.
InfoFields DecodeInfoBlock(const uint8_t* block);

// Little-endian 32-bit access inside the block.
uint32_t ReadWord(const uint8_t* at);
void WriteWord(uint8_t* at, uint32_t value);
