#ifndef WINDOW_TEXT_H
#define WINDOW_TEXT_H

/* Room for every class name, title and filter: 1023 bytes and the NUL. */
constexpr int WINDOW_TEXT_CAPACITY = 1024;

#endif
