#pragma once

#include <cstddef>
#include <cstdint>

// What the fuzz targets run on one input. Each checks the engine's promises about what a
// server may send and aborts when one is broken. The libFuzzer targets call them, and the test
// suite replays the saved corpus through them.

// The first byte chooses how the rest is cut into reads; the pieces are fed to a ReplyReader.
void FuzzReplyReader(const uint8_t* data, size_t size);

// The input, as UTF-8 text, is read as a 227 reply and as a 257 reply.
void FuzzPassiveReply(const uint8_t* data, size_t size);

// The input, as UTF-8 text, is read as the reply to HASH and to the X digest commands for every
// algorithm, and its lines as FEAT's lines for the choice of a digest.
void FuzzDigestReply(const uint8_t* data, size_t size);
