-- Compare and branch on every relation, with a variable or a constant on
-- either side.
local i, j, c, n = 0, 5000000, 0, 5000000  -- N
while i < n do
  if i < j then c = c + 1 end
  if 100 <= i then c = c + 1 end
  if i > 5 then c = c + 1 end
  if j >= i then c = c + 1 end
  if i == j then c = c + 1 end
  if 7 ~= i then c = c + 1 end
  i = i + 1
  j = j - 1
end
print(c)
