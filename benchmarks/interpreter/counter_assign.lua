-- Counters through load, push, add and store: while (i < N) { j = i + 7; i = i + 1; }
local i, j, n = 0, 0, 20000000  -- N
while i < n do
  j = i + 7
  i = i + 1
end
print(i, j)
