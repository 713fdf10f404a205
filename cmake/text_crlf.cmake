# cmake -DIN=FILE -DOUT=FILE -P text_crlf.cmake: a copy of a text file with
# CR LF line ends, for the Windows archive.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
