-- Counters stepped by a constant: while (i < N) { i += 3; j -= 2; }
local i, j, n = 0, 0, 60000000  -- N
while i < n do
  i = i + 3
  j = j - 2
end
print(i, j)
