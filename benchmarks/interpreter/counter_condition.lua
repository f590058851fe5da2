-- Increments inside the loop test: while (i++ < N) {} then while (++j < N) {}
local i, j, n = 0, 0, 30000000  -- N
repeat i = i + 1 until i > n
repeat j = j + 1 until j >= n
print(i, j)
