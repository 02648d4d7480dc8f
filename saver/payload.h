// What the saver reads from the payload archive at the end of its own file: the configuration
// entry INFO (for the name it shows) and the picture MOVIE, or of a picture show only its index
// (the pictures stay in the file until they are shown). All land in fixed buffers.
// This file reaches files only through the archive layer, so the host tests run it too.
#pragma once

#include <stdint.h>

#include "format/info.h"
#include "format/show.h"

// The largest MOVIE shown: a 1024 x 768 picture of 24 bits takes 2.25 MiB. A larger MOVIE is
// not read at all rather than cut.
constexpr uint32_t kMovieCapacity = 4u << 20;
constexpr uint32_t kSaverNameSize = kInfoNameSize;

// Results of LoadSaverPayload, as bits.
constexpr int kPayloadOpened = 1;    // the file carries a readable payload archive
constexpr int kPayloadInfo = 2;      // INFO was read and SaverName filled
constexpr int kPayloadMovie = 4;     // MOVIE was read into MovieBytes
constexpr int kPayloadShow = 8;      // MOVIE is a show: ShowIndex, Show and ShowMovieOffset set
constexpr int kPayloadPreview = 16;  // PREVIEWB was read into MovieBytes instead of MOVIE

extern uint8_t SaverInfo[kInfoSize];           // INFO, zero-padded to its full size
extern char SaverName[kSaverNameSize];         // the name from INFO; empty when it has none
extern uint8_t MovieBytes[kMovieCapacity];     // MOVIE's content
extern uint32_t MovieSize;                     // bytes of MovieBytes in use; 0 without a MOVIE
extern uint8_t ShowIndex[kShowIndexCapacity];  // a show's header, records and captions
extern ShowView Show;                          // the show checked; Show.valid 0 without one
extern uint32_t ShowMovieOffset;               // where MOVIE's first byte stands in the file

// Opens the payload archive of `path` (null: the running program's own file), reads INFO and
// MOVIE and closes the archive again. The name is INFO's name, or its alternative name when
// INFO's code page is set and differs from `system_code_page`, as the installer chose it when
// it named the file. Returns the kPayload bits of what was read; a missing or broken entry
// leaves its buffer empty and is not an error of the others.
// A MOVIE that is a show is read only as far as its index, and only when it is stored plain (as
// the installer copies it), since its pictures are read at their places in the file later.
// With `preview` set, a PREVIEWB that fits is read into MovieBytes and MOVIE is not read.
int LoadSaverPayload(const char* path, uint32_t system_code_page, int preview = 0);
