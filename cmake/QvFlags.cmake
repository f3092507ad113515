# Floating point is part of the program's contract: the engine's output is reproducible bit for bit.
# No fused multiply-add contraction anywhere, and on i686 SSE2 arithmetic instead of the x87 unit,
# whose extended precision would change results. Never -ffast-math or -Ofast.
add_compile_options(-ffp-contract=off -Wall -Wextra)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(QV_SANITIZE)
  # Lightly optimised: the sanitized tests run the adaptive method on pictures of several tiles,
  # which unoptimised takes minutes.
  add_compile_options(-O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QV_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Quorvane.exe and zentile.dll run alone: no MinGW runtime DLLs beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
