#ifndef LOOKUPOUTCOME_H
#define LOOKUPOUTCOME_H

#include "idwhois.h"
#include "whoiserror.h"

#include <string>

// One lookup of "example.kr" as a line to compare: "returned: " and the
// reply, or the failure's message.
inline std::string failureOf(TIdWhois &client)
{
    try {
        return "returned: " + client.WhoIs("example.kr");
    } catch (const EIdWhoisError &e) {
        return e.what();
    }
}

#endif // LOOKUPOUTCOME_H
