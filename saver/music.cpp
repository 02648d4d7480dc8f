// Music: each piece is written to a temporary file of its own, created new under a name nobody
// else holds, played by MCI, and deleted when the next starts or the saver ends. The player
// (winmm) is loaded from the system folder.
#include "saver/music.h"

#include "saver/payload.h"
#include "saver/system.h"

typedef MCIERROR(WINAPI* SendStringCall)(LPCSTR, LPSTR, UINT, HWND);

static SendStringCall SendString;    // mciSendStringA; null until loaded or when missing
static HMODULE Winmm;                // winmm.dll from the system folder
static uint32_t Piece;               // the piece playing
static int Open;                     // 1 while the alias "ssmusic" is open
static int Failures;                 // pieces in a row that did not play
static char TempPath[MAX_PATH];      // 260 bytes: the piece's temporary file; empty when none
static char Command[MAX_PATH + 64];  // 324 bytes: the open command of a piece
static uint8_t Chunk[65536];         // 64 KiB: copying a piece from the saver's file

static const char* const kTypes[] = {"", "waveaudio", "mpegvideo", "sequencer"};
static const char* const kExtensions[] = {"", ".wav", ".mp3", ".mid"};

static void ClosePiece() {
    if (Open) SendString("close ssmusic", nullptr, 0, nullptr);
    Open = 0;
    if (TempPath[0]) DeleteFileA(TempPath);
    TempPath[0] = '\0';
}

// Writes piece `i` to a new temporary file. 1 when it is there in full.
static int WritePiece(const ShowMusic& music) {
    char folder[MAX_PATH - 20];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) return 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        wsprintfA(TempPath, "%sss%05lx%s", folder,
                  (GetTickCount() + GetCurrentProcessId() * 7 + attempt) & 0xFFFFF,
                  kExtensions[music.format]);
        // CREATE_NEW: a file or link planted under the name is never written through.
        file = CreateFileA(TempPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        TempPath[0] = '\0';
        return 0;
    }
    int ok = 1;
    for (uint32_t done = 0; ok && done < music.size;) {
        const uint32_t part = music.size - done < sizeof Chunk ? music.size - done : sizeof Chunk;
        DWORD written = 0;
        ok = ReadOwnFile(ShowMovieOffset + music.offset + done, Chunk, part) &&
             WriteFile(file, Chunk, part, &written, nullptr) && written == part;
        done += part;
    }
    CloseHandle(file);
    return ok;
}

static int PlayPiece(HWND window) {
    ShowMusic music;
    if (!ShowMusicAt(&Show, Piece, &music) || !WritePiece(music)) return 0;
    lstrcpynA(Command, "open \"", sizeof Command);
    lstrcatA(Command, TempPath);
    lstrcatA(Command, "\" type ");
    lstrcatA(Command, kTypes[music.format]);
    lstrcatA(Command, " alias ssmusic");
    if (SendString(Command, nullptr, 0, nullptr) != 0) return 0;
    Open = 1;
    return SendString("play ssmusic notify", nullptr, 0, window) == 0;
}

// Plays the pieces from Piece on; one that fails is passed over, and after a whole round of
// failures (no sound device) the music stays off.
static void PlayFrom(HWND window) {
    while (Failures < static_cast<int>(Show.music_count)) {
        ClosePiece();
        if (PlayPiece(window)) {
            Failures = 0;
            return;
        }
        ++Failures;
        Piece = Piece + 1 < Show.music_count ? Piece + 1 : 0;
    }
    ClosePiece();
}

void StartMusic(HWND window) {
    if (Show.music_count == 0) return;
    Winmm = LoadSystemDll("winmm.dll");
    SendString = SystemProc<SendStringCall>(Winmm, "mciSendStringA");
    if (!SendString) return;
    Piece = 0;
    Failures = 0;
    PlayFrom(window);
}

void OnMusicNotify(HWND window, WPARAM flags) {
    if (!SendString || !Open || flags != MCI_NOTIFY_SUCCESSFUL) return;
    Piece = Piece + 1 < Show.music_count ? Piece + 1 : 0;
    PlayFrom(window);
}

void StopMusic() {
    if (!SendString) return;
    ClosePiece();
    SendString = nullptr;
}
