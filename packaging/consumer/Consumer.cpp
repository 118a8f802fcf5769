// SPDX-License-Identifier: GPL-3.0-or-later
// A program built against the installed libraries only: it includes each library's
// public header by its installed path and calls into each library, so that a
// missing header, a wrong include folder or an unresolvable library fails here.
#include <linkcore/Linkcore.h>
#include <netport/Netport.h>
#include <serport/Serport.h>
#include <skinwork/Skinwork.h>

#include <cstdio>

int main()
{
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CLinkcore::GetDate(&year, &month, &day);
    const CSerport serial;
    const CNetport network;
    const int voice = GetVoiceEnableOS();
    std::printf("%04u-%02u-%02u voice %d\n", year, month, day, voice);
    return year >= 2000 && month >= 1 && month <= 12 && day >= 1 && day <= 31 ? 0 : 1;
}
