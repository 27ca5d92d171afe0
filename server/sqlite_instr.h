#pragma once

// instr() in linear time. SQLite's own compares the needle at every position of the text, inside one
// function call that neither the progress handler nor sqlite3_interrupt can stop: a megabyte of "a"
// searched for 200000 "a" and a "b" ran for seconds past the statement limit and past a stop.

struct sqlite3;

// Replaces instr(X, Y) on `db`, with SQLite's meaning: the 1-based character position of the first
// Y in X (a byte position when both are blobs), 0 when there is none, NULL when either is NULL.
void replace_instr(sqlite3 *db);
