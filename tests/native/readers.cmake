# The pure readers of the server's answers and the text helpers under them: what tests/native tests
# from tables and tests/fuzz fuzzes. Needs TOP, the checkout's top folder.
set(READER_SOURCES ${TOP}/base/text.cpp ${TOP}/transport/text_form.cpp ${TOP}/accounts/answer.cpp
    ${TOP}/tickets/answers.cpp ${TOP}/chat/answer.cpp ${TOP}/remote/answer.cpp)
