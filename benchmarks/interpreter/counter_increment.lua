-- Increments and decrements as statements: while (i < N) { i++; ++j; k--; }
local i, j, k, n = 0, 0, 0, 20000000  -- N
while i < n do
  i = i + 1
  j = j + 1
  k = k - 1
end
print(i, j, k)
