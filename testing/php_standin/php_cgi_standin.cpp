// A stand-in php-cgi.exe: the 2-Way page only has to find a file of that name; run, it
// answers as a CGI program that has nothing to say.
#include <cstdio>

int main()
{
    std::printf("Content-type: text/plain\r\n\r\n");
    return 0;
}
