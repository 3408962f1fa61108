# SPDX-License-Identifier: GPL-3.0-or-later
# TW_SANITIZE=address builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# TW_SANITIZE=thread with ThreadSanitizer.
set(TW_SANITIZE "" CACHE STRING "Sanitizer build: address, thread or empty")
if(TW_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TW_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TW_SANITIZE STREQUAL "")
  message(FATAL_ERROR "Unknown TW_SANITIZE value '${TW_SANITIZE}'")
endif()
