-- Harbourside: the repair workshop and warranty claims (added 2014).

-- @object User Table | Technician | 2014-03-10 08:30:08
CREATE TABLE dbo.Technician (
    TechnicianId  smallint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Technician PRIMARY KEY,
    FullName      nvarchar(80)  NOT NULL,
    WarehouseId   tinyint       NOT NULL CONSTRAINT FK_Technician_Warehouse REFERENCES dbo.Warehouse (WarehouseId),
    HourlyRate    dbo.Money4    NOT NULL,
    IsActive      bit           NOT NULL CONSTRAINT DF_Technician_IsActive DEFAULT (1)
);

-- @object Stored Procedure | usp_AddTechnician | 2016-07-21 11:36:13
CREATE PROCEDURE dbo.usp_AddTechnician
    @FullName    nvarchar(80),
    @WarehouseId tinyint,
    @HourlyRate  dbo.Money4,
    @TechnicianId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Warehouse WHERE WarehouseId = @WarehouseId)
    BEGIN
        RAISERROR(N'Warehouse %d does not exist.', 16, 1, @WarehouseId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.Technician (FullName, WarehouseId, HourlyRate)
            VALUES (@FullName, @WarehouseId, @HourlyRate);
            SET @TechnicianId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object View | vw_Technicians | 2014-03-10 09:05:35
CREATE VIEW dbo.vw_Technicians
AS
SELECT t.TechnicianId,
       w.Name AS WarehouseName,
       t.FullName,
       t.WarehouseId,
       t.HourlyRate,
       t.IsActive
  FROM dbo.Technician AS t
  JOIN dbo.Warehouse AS w ON w.WarehouseId = t.WarehouseId;

-- @object User Table | RepairJob | 2014-03-10 08:34:36
CREATE TABLE dbo.RepairJob (
    JobId         int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_RepairJob PRIMARY KEY,
    CustomerId    int            NOT NULL CONSTRAINT FK_RepairJob_Customer REFERENCES dbo.Customer (CustomerId),
    ProductId     int            NOT NULL CONSTRAINT FK_RepairJob_Product REFERENCES dbo.Product (ProductId),
    SerialNo      varchar(30)    NULL,
    Fault         nvarchar(400)  NOT NULL,
    BookedIn      date           NOT NULL,
    TechnicianId  smallint       NULL CONSTRAINT FK_RepairJob_Technician REFERENCES dbo.Technician (TechnicianId),
    Status        varchar(10)    NOT NULL CONSTRAINT DF_RepairJob_Status DEFAULT ('BOOKED')
                      CONSTRAINT CK_RepairJob_Status CHECK (Status IN ('BOOKED', 'DIAGNOSED', 'REPAIRED', 'COLLECTED', 'SCRAPPED')),
    LabourHours   decimal(5, 2)  NOT NULL CONSTRAINT DF_RepairJob_LabourHours DEFAULT (0),
    PartsCost     dbo.Money4     NOT NULL CONSTRAINT DF_RepairJob_PartsCost DEFAULT (0),
    UpdatedAt     datetime2(0)   NULL
);

-- @object Stored Procedure | usp_BookRepair | 2014-03-10 08:38:10
CREATE PROCEDURE dbo.usp_BookRepair
    @CustomerId   int,
    @ProductId    int,
    @SerialNo     varchar(30),
    @Fault        nvarchar(400),
    @BookedIn     date,
    @TechnicianId smallint,
    @JobId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Customer WHERE CustomerId = @CustomerId)
    BEGIN
        RAISERROR(N'Customer %d does not exist.', 16, 1, @CustomerId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.RepairJob (CustomerId, ProductId, SerialNo, Fault, BookedIn, TechnicianId)
            VALUES (@CustomerId, @ProductId, @SerialNo, @Fault, @BookedIn, @TechnicianId);
            SET @JobId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_DiagnoseRepair | 2016-10-01 11:56:21
CREATE PROCEDURE dbo.usp_DiagnoseRepair
    @JobId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.RepairJob
           SET Status = 'DIAGNOSED', UpdatedAt = SYSUTCDATETIME()
         WHERE JobId = @JobId AND Status IN ('BOOKED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Repair job %d is not BOOKED; it cannot move to DIAGNOSED.', 16, 1, @JobId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CompleteRepair | 2014-05-10 12:03:43
CREATE PROCEDURE dbo.usp_CompleteRepair
    @JobId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.RepairJob
           SET Status = 'REPAIRED', UpdatedAt = SYSUTCDATETIME()
         WHERE JobId = @JobId AND Status IN ('DIAGNOSED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Repair job %d is not DIAGNOSED; it cannot move to REPAIRED.', 16, 1, @JobId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CollectRepair | 2014-03-10 09:13:27
CREATE PROCEDURE dbo.usp_CollectRepair
    @JobId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.RepairJob
           SET Status = 'COLLECTED', UpdatedAt = SYSUTCDATETIME()
         WHERE JobId = @JobId AND Status IN ('REPAIRED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Repair job %d is not REPAIRED; it cannot move to COLLECTED.', 16, 1, @JobId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_ScrapRepair | 2014-03-10 09:29:48
CREATE PROCEDURE dbo.usp_ScrapRepair
    @JobId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.RepairJob
           SET Status = 'SCRAPPED', UpdatedAt = SYSUTCDATETIME()
         WHERE JobId = @JobId AND Status IN ('BOOKED', 'DIAGNOSED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Repair job %d is not BOOKED or DIAGNOSED; it cannot move to SCRAPPED.', 16, 1, @JobId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_WorkshopQueue | 2014-03-10 09:44:01
CREATE VIEW dbo.vw_WorkshopQueue
AS
SELECT rj.JobId,
       c.Name AS CustomerName,
       rj.CustomerId,
       rj.ProductId,
       rj.SerialNo,
       rj.Fault,
       rj.BookedIn
  FROM dbo.RepairJob AS rj
  JOIN dbo.Customer AS c ON c.CustomerId = rj.CustomerId
 WHERE rj.Status IN ('BOOKED', 'DIAGNOSED');

-- @object View | vw_RepairsByCustomer | 2014-03-10 09:54:53
CREATE VIEW dbo.vw_RepairsByCustomer
WITH SCHEMABINDING
AS
SELECT c.CustomerId, c.Name,
       COUNT_BIG(*) AS RepairJobs,
       SUM(ISNULL(rj.PartsCost, 0)) AS TotalPartsCost,
       MIN(rj.BookedIn) AS FirstBookedIn, MAX(rj.BookedIn) AS LastBookedIn
  FROM dbo.RepairJob AS rj
  JOIN dbo.Customer AS c ON c.CustomerId = rj.CustomerId
 GROUP BY c.CustomerId, c.Name;

-- @object View | vw_RepairsByMonth | 2014-03-10 10:24:10
CREATE VIEW dbo.vw_RepairsByMonth
AS
SELECT YEAR(rj.BookedIn) AS [Year], MONTH(rj.BookedIn) AS [Month],
       COUNT(*) AS RepairJobs,
       SUM(rj.PartsCost) AS TotalPartsCost,
       AVG(rj.PartsCost) AS AveragePartsCost
  FROM dbo.RepairJob AS rj
 WHERE rj.Status <> 'SCRAPPED'
 GROUP BY YEAR(rj.BookedIn), MONTH(rj.BookedIn);

-- @object Stored Procedure | usp_FindRepairJobs | 2014-03-10 10:53:34
CREATE PROCEDURE dbo.usp_FindRepairJobs
    @CustomerId int = NULL,
    @SerialNoLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Status varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    -- built for the help desk screen; keep the filters optional
    SELECT rj.JobId, rj.CustomerId, rj.ProductId, rj.SerialNo, rj.Fault, c.Name
      FROM dbo.RepairJob AS rj
      JOIN dbo.Customer AS c ON c.CustomerId = rj.CustomerId
     WHERE (@CustomerId IS NULL OR rj.CustomerId = @CustomerId)
       AND (@SerialNoLike IS NULL OR rj.SerialNo LIKE @SerialNoLike + N'%')
       AND (@From IS NULL OR rj.BookedIn >= @From)
       AND (@To IS NULL OR rj.BookedIn < DATEADD(day, 1, @To))
       AND (@Status IS NULL OR rj.Status = @Status)
     ORDER BY rj.BookedIn DESC;
END;

-- @object Trigger | tr_RepairJob_Touch | 2014-03-10 11:16:27
CREATE TRIGGER dbo.tr_RepairJob_Touch ON dbo.RepairJob
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF UPDATE(UpdatedAt) RETURN; -- our own update, or the caller set it
    UPDATE t SET UpdatedAt = SYSUTCDATETIME()
      FROM dbo.RepairJob AS t
      JOIN inserted AS i ON i.JobId = t.JobId;
END;

-- @object User Defined Function | fn_CustomerRepairCost | 2014-03-10 11:41:42
CREATE FUNCTION dbo.fn_CustomerRepairCost (@CustomerId int)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(PartsCost), 0) FROM dbo.RepairJob WHERE CustomerId = @CustomerId AND Status <> 'SCRAPPED');
END;

-- @object Stored Procedure | usp_PurgeOldRepairs | 2014-07-15 13:58:17
CREATE PROCEDURE dbo.usp_PurgeOldRepairs
    @KeepMonths int = 24,
    @BatchSize  int = 5000
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Cutoff date = DATEADD(month, -@KeepMonths, CONVERT(date, GETDATE()));
    DECLARE @Deleted int = 1, @Total int = 0;
    WHILE @Deleted > 0
    BEGIN
        BEGIN TRANSACTION;
            DELETE TOP (@BatchSize) FROM dbo.RepairJob
             WHERE BookedIn < @Cutoff AND Status IN ('SCRAPPED', 'COLLECTED');
            SET @Deleted = @@ROWCOUNT;
        COMMIT TRANSACTION;
        SET @Total += @Deleted;
        CHECKPOINT;
    END;
    PRINT CONCAT(@Total, N' repair job rows removed.');
END;

-- @object User Table | RepairPart | 2014-03-10 08:37:51
CREATE TABLE dbo.RepairPart (
    JobId      int            NOT NULL CONSTRAINT FK_RepairPart_Job REFERENCES dbo.RepairJob (JobId) ON DELETE CASCADE,
    ProductId  int            NOT NULL CONSTRAINT FK_RepairPart_Product REFERENCES dbo.Product (ProductId),
    Quantity   smallint       NOT NULL CONSTRAINT CK_RepairPart_Quantity CHECK (Quantity > 0),
    UnitCost   decimal(19, 4) NOT NULL,
    LineCost   AS (Quantity * UnitCost),
    CONSTRAINT PK_RepairPart PRIMARY KEY (JobId, ProductId)
);

-- @object Trigger | tr_RepairPart_Cost | 2014-03-10 08:54:16
CREATE TRIGGER dbo.tr_RepairPart_Cost ON dbo.RepairPart
AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    -- keep the repair job total in step with its lines
    UPDATE p SET PartsCost = ISNULL((SELECT SUM(x.LineCost) FROM dbo.RepairPart AS x WHERE x.JobId = p.JobId), 0)
      FROM dbo.RepairJob AS p
     WHERE p.JobId IN (SELECT JobId FROM inserted UNION SELECT JobId FROM deleted);
END;

-- @object User Defined Function | fn_PartsForJob | 2016-10-25 13:22:36
CREATE FUNCTION dbo.fn_PartsForJob (@JobId int)
RETURNS TABLE
AS
RETURN
    SELECT rp.JobId, rp.ProductId, rp.Quantity, rp.UnitCost, rp.LineCost
      FROM dbo.RepairPart AS rp
     WHERE rp.JobId = @JobId;

-- @object User Table | WarrantyClaim | 2015-07-27 11:50:07
CREATE TABLE dbo.WarrantyClaim (
    ClaimId     int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_WarrantyClaim PRIMARY KEY,
    JobId       int            NOT NULL CONSTRAINT FK_WarrantyClaim_Job REFERENCES dbo.RepairJob (JobId),
    SupplierId  int            NOT NULL CONSTRAINT FK_WarrantyClaim_Supplier REFERENCES dbo.Supplier (SupplierId),
    ClaimedOn   date           NOT NULL,
    Amount      dbo.Money4     NOT NULL,
    Outcome     char(1)        NOT NULL CONSTRAINT DF_WarrantyClaim_Outcome DEFAULT ('P')
                    CONSTRAINT CK_WarrantyClaim_Outcome CHECK (Outcome IN ('P', 'A', 'R'))
);

-- @object Stored Procedure | usp_LodgeWarrantyClaim | 2015-07-27 12:06:42
CREATE PROCEDURE dbo.usp_LodgeWarrantyClaim
    @JobId      int,
    @SupplierId int,
    @ClaimedOn  date,
    @Amount     dbo.Money4,
    @ClaimId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Supplier WHERE SupplierId = @SupplierId)
    BEGIN
        RAISERROR(N'Supplier %d does not exist.', 16, 1, @SupplierId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.WarrantyClaim (JobId, SupplierId, ClaimedOn, Amount)
            VALUES (@JobId, @SupplierId, @ClaimedOn, @Amount);
            SET @ClaimId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_AcceptWarrantyClaim | 2015-07-27 12:26:58
CREATE PROCEDURE dbo.usp_AcceptWarrantyClaim
    @ClaimId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.WarrantyClaim
           SET Outcome = 'A'
         WHERE ClaimId = @ClaimId AND Outcome IN ('P');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Warranty claim %d is not P; it cannot move to A.', 16, 1, @ClaimId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_RejectWarrantyClaim | 2015-07-27 12:41:28
CREATE PROCEDURE dbo.usp_RejectWarrantyClaim
    @ClaimId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.WarrantyClaim
           SET Outcome = 'R'
         WHERE ClaimId = @ClaimId AND Outcome IN ('P');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Warranty claim %d is not P; it cannot move to R.', 16, 1, @ClaimId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_WarrantyBySupplier | 2015-07-27 12:51:38
CREATE VIEW dbo.vw_WarrantyBySupplier
WITH SCHEMABINDING
AS
SELECT s.SupplierId, s.Name,
       COUNT_BIG(*) AS WarrantyClaims,
       SUM(ISNULL(wc.Amount, 0)) AS TotalAmount,
       MIN(wc.ClaimedOn) AS FirstClaimedOn, MAX(wc.ClaimedOn) AS LastClaimedOn
  FROM dbo.WarrantyClaim AS wc
  JOIN dbo.Supplier AS s ON s.SupplierId = wc.SupplierId
 GROUP BY s.SupplierId, s.Name;

-- @object Stored Procedure | usp_WarrantyRecoveryReport | 2017-01-25 13:08:22
CREATE PROCEDURE dbo.usp_WarrantyRecoveryReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT s.Name,
           COUNT(*) AS WarrantyClaims,
           SUM(wc.Amount) AS TotalAmount,
           MAX(wc.Amount) AS LargestAmount,
           SUM(CASE WHEN wc.Outcome = 'R' THEN 1 ELSE 0 END) AS R
      FROM dbo.WarrantyClaim AS wc
      JOIN dbo.Supplier AS s ON s.SupplierId = wc.SupplierId
     WHERE wc.ClaimedOn >= @From AND wc.ClaimedOn < DATEADD(day, 1, @To)
     GROUP BY s.Name
     ORDER BY TotalAmount DESC;
END;

-- @object User Defined Function | fn_WarrantyRecovered | 2015-07-27 13:38:02
CREATE FUNCTION dbo.fn_WarrantyRecovered (@SupplierId int, @AsAt date)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Amount), 0) FROM dbo.WarrantyClaim WHERE SupplierId = @SupplierId AND Outcome <> 'R' AND ClaimedOn <= @AsAt);
END;
