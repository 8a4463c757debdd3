// Loads one stored window definition, as the fuzzer and the corpus replay both do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The first byte picks the form class (the lens or the About box); the rest is the text.
// Returns 1 when a form was built, 0 when the text was refused with an Exception; anything
// else (a crash, another exception) is a fault. The refusal's message goes to *refusal.
int LoadDefinitionOnce(const std::uint8_t* data, std::size_t size, std::string* refusal = nullptr);
