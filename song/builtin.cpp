// The song intro-port plays.
#include <cstring>

#include "song.h"

namespace port {

const char song_text[] =
    "bpm:89\n"
    "i1:sini,2,12,1,4000,0,-60\n"
    "i2:kohina,2,6,1,5600,0,0\n"
    "i3:saha,2,4,1,10000,1299,0\n"
    "i4:kantti,2,3,1,2000,0,4\n"
    "i5:kohina,2,4,1,20000,0,-20\n"
    "i6:sini,2,5,1,6000,0,-7\n"
    "i7:kantti,2,4,1,2000,0,0\n"
    "i8:saha,2,4,1,40000,0,0\n"
    "i9:sini,2,10,1,6000,100,0\n"
    "i10:kantti,2,3,1,1000,1538,0\n"
    "p1:0\n"
    "p2:echo1\n"
    "p3:c1,0,0,0,0,0,0,00,0,0,0,0,0,0,0,0,0,0,0\n"
    "p4:g4,00,g2,g5,00,00,g5\n"
    "t1:p1,p2,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,loop\n"
    "t2:p1,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p3,p3,p3,p3,p3,p3,p4,p4,p4,p4,p4,p4,p4,p4,loop\n"
    "t3:p1,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p3,p3,p3,p3,p3,p4,p4,p4,p4,p4,p4,p4,p4,p4,p4,p4,"
    "p3,p3,p3,p3,p3,p3,p3,p4,p4,p4,p4,p4,p4,p4,p4,loop\n"
    "t4:p2,loop\n"
    "t5:p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,p2,loop\n"
    "t6:p1,p2,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,loop\n"
    "t7:p1,p2,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,loop\n"
    "t8:p1,p2,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,loop\n"
    "t9:p1,p2,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,loop\n"
    "t10:p1,p2,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,p3,loop\n";

int parse_builtin_song()
{
    static char text[sizeof song_text];  // the parser edits its text in place
    memcpy(text, song_text, sizeof text);
    return parse_song(text);
}

}  // namespace port
